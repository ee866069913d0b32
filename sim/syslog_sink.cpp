// A syslog receiver for the sandbox: binds a datagram socket (normally
// /dev/log), then detaches so that whoever started it knows the socket is
// ready. Each datagram is appended whole to the output file as one line, its
// own newlines written as "\n" and backslashes as "\\".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int bind_socket(const char *path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path)
        return -1;
    strcpy(address.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    unlink(path);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

size_t escape(const char *in, size_t length, char *out)
{
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (in[i] == '\n') {
            out[n++] = '\\';
            out[n++] = 'n';
        } else if (in[i] == '\\') {
            out[n++] = '\\';
            out[n++] = '\\';
        } else
            out[n++] = in[i];
    }
    out[n++] = '\n';
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOCKET OUTPUT\n", argv[0]);
        return 2;
    }
    const int sock = bind_socket(argv[1]);
    if (sock < 0) {
        fprintf(stderr, "%s: cannot bind %s: %s\n", argv[0], argv[1], strerror(errno));
        return 1;
    }
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) {
        fprintf(stderr, "%s: cannot open %s: %s\n", argv[0], argv[2], strerror(errno));
        return 1;
    }
    if (daemon(1, 1) != 0)
        return 1;

    static char datagram[65536];
    static char line[2 * sizeof datagram + 1];
    for (;;) {
        const ssize_t got = recv(sock, datagram, sizeof datagram, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        const size_t length = escape(datagram, static_cast<size_t>(got), line);
        if (write(out, line, length) < 0)
            return 1;
    }
}
