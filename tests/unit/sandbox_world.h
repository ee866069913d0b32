// What a unit test sees of the world inside the sandbox: files under
// /tmp/events, the stub commands' records, and syslog datagrams.
#pragma once

#include <string>
#include <vector>

namespace world {

bool exists(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);
std::vector<std::string> lines_of(const std::string &path);

// Removes and recreates /tmp/events, and forgets recorded commands.
void fresh_events();

// Commands the stubs ran since the last call, "name\targ..." each.
std::vector<std::string> take_commands();
// Exit status and in-call shell snippet for a stub, by name.
void set_exit(const std::string &stub, int status);
void set_action(const std::string &stub, const std::string &shell);

// Receives syslog datagrams on /dev/log in place of the sandbox's sink while
// it lives.
class syslog_capture {
public:
    syslog_capture();
    ~syslog_capture();
    syslog_capture(const syslog_capture &) = delete;
    syslog_capture &operator=(const syslog_capture &) = delete;
    // Datagrams sent so far and not yet taken.
    std::vector<std::string> take();

private:
    int fd_;
};

std::string sim_dir();

} // namespace world
