#include "tests/unit/sandbox_world.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace world {

std::string sim_dir()
{
    const char *dir = getenv("LINEWATCH_SIM_DIR");
    if (dir == nullptr)
        throw std::runtime_error("not inside the sandbox: LINEWATCH_SIM_DIR is unset");
    return dir;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<std::string> lines_of(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void fresh_events()
{
    if (system("rm -rf /tmp/events && mkdir /tmp/events") != 0)
        throw std::runtime_error("cannot reset /tmp/events");
    take_commands();
    for (const char *stub : {"sendemail", "sendtrap", "ledcontrol"}) {
        unlink((sim_dir() + "/exit/" + stub).c_str());
        unlink((sim_dir() + "/run/" + stub).c_str());
    }
}

std::vector<std::string> take_commands()
{
    const std::string path = sim_dir() + "/commands";
    auto lines = lines_of(path);
    write_file(path, "");
    return lines;
}

void set_exit(const std::string &stub, int status)
{
    write_file(sim_dir() + "/exit/" + stub, std::to_string(status) + "\n");
}

void set_action(const std::string &stub, const std::string &shell)
{
    write_file(sim_dir() + "/run/" + stub, shell + "\n");
}

syslog_capture::syslog_capture()
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, "/dev/log");
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    unlink(address.sun_path);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind /dev/log");
}

syslog_capture::~syslog_capture()
{
    close(fd_);
    unlink("/dev/log");
}

std::vector<std::string> syslog_capture::take()
{
    std::vector<std::string> datagrams;
    char buffer[4096];
    for (ssize_t got; (got = recv(fd_, buffer, sizeof buffer, 0)) >= 0;)
        datagrams.emplace_back(buffer, static_cast<size_t>(got));
    return datagrams;
}

} // namespace world
