// linewatch-twin: serves the simulated device as a small file system, so
// that the unmodified daemon runs against it through its usual paths.
//
//   linewatch-twin MOUNTPOINT
//
// Files: cpldirq (the interrupt device, bound over /dev/cpldirq; a program
// under emulation reads one byte at the request's code instead), regs (byte
// N is CPLD register N, read and written by the stand-in libcpld.so), config
// (the settings as key=value lines, read by the stand-in libconfig.so), ctl
// (write a control line, read its reply) and journal (every request and
// register access with its time). Returns once the file system is mounted.
#define FUSE_USE_VERSION 35
#include <fuse.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "sim/twin_device.h"

namespace {

twin::device the_device;

enum class node { none, cpldirq, regs, config, ctl, journal };

node node_of(const char *path)
{
    static const std::pair<const char *, node> nodes[] = {
        {"/cpldirq", node::cpldirq}, {"/regs", node::regs}, {"/config", node::config},
        {"/ctl", node::ctl},         {"/journal", node::journal},
    };
    for (const auto &[name, kind] : nodes)
        if (strcmp(path, name) == 0)
            return kind;
    return node::none;
}

// What an open file of config, journal or ctl reads: a snapshot taken at
// open, or the replies to the control lines written so far.
struct open_text {
    std::string text;
    size_t taken = 0;
};

open_text *text_of(fuse_file_info *fi)
{
    return reinterpret_cast<open_text *>(fi->fh);
}

int twin_getattr(const char *path, struct stat *st, fuse_file_info *)
{
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    const node kind = node_of(path);
    if (kind == node::none)
        return -ENOENT;
    st->st_mode = S_IFREG | 0666;
    st->st_nlink = 1;
    st->st_size = kind == node::regs ? 256 : 0;
    return 0;
}

int twin_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *,
                 fuse_readdir_flags)
{
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    for (const char *name : {".", "..", "cpldirq", "regs", "config", "ctl", "journal"})
        fill(buffer, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int twin_open(const char *path, fuse_file_info *fi)
{
    const node kind = node_of(path);
    if (kind == node::none)
        return -ENOENT;
    // Every read must reach the device: no page cache in between.
    fi->direct_io = 1;
    fi->fh = 0;
    if (kind == node::cpldirq)
        the_device.note_open(fi->flags);
    else if (kind == node::config)
        fi->fh = reinterpret_cast<uint64_t>(new open_text{the_device.settings_text()});
    else if (kind == node::journal)
        fi->fh = reinterpret_cast<uint64_t>(new open_text{the_device.journal_text()});
    else if (kind == node::ctl)
        fi->fh = reinterpret_cast<uint64_t>(new open_text{});
    return 0;
}

int twin_release(const char *, fuse_file_info *fi)
{
    delete text_of(fi);
    return 0;
}

int read_text(open_text &open, char *buffer, size_t size, off_t offset, bool by_offset)
{
    const size_t from = by_offset ? static_cast<size_t>(offset) : open.taken;
    if (from >= open.text.size())
        return 0;
    const size_t length = std::min(size, open.text.size() - from);
    memcpy(buffer, open.text.data() + from, length);
    open.taken = from + length;
    return static_cast<int>(length);
}

int twin_read(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    switch (node_of(path)) {
    case node::regs: {
        size_t done = 0;
        for (; done < size && offset + static_cast<off_t>(done) < 256; ++done) {
            uint8_t value;
            if (!the_device.read_register(static_cast<int>(offset + done), value,
                                          [] { return fuse_interrupted() != 0; }))
                return done > 0 ? static_cast<int>(done) : -EIO;
            buffer[done] = static_cast<char>(value);
        }
        return static_cast<int>(done);
    }
    case node::cpldirq:
        // A request from libirqshim.so, answered when the request is done.
        if (size == 0 || offset < 0)
            return -EINVAL;
        if (!the_device.request(static_cast<unsigned>(offset), [] { return fuse_interrupted() != 0; }))
            return -EINTR;
        buffer[0] = 0;
        return 1;
    case node::config:
    case node::journal:
        return read_text(*text_of(fi), buffer, size, offset, true);
    case node::ctl:
        // Replies are read in turn, whatever the file position says.
        return read_text(*text_of(fi), buffer, size, offset, false);
    default:
        return -EINVAL;
    }
}

int twin_write(const char *path, const char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    switch (node_of(path)) {
    case node::regs:
        for (size_t done = 0; done < size; ++done) {
            if (offset + static_cast<off_t>(done) >= 256)
                return done > 0 ? static_cast<int>(done) : -ENOSPC;
            if (!the_device.write_register(static_cast<int>(offset + done), static_cast<uint8_t>(buffer[done])))
                return done > 0 ? static_cast<int>(done) : -EIO;
        }
        return static_cast<int>(size);
    case node::ctl: {
        open_text &open = *text_of(fi);
        std::string lines(buffer, size);
        for (size_t start = 0; start < lines.size();) {
            size_t end = lines.find('\n', start);
            if (end == std::string::npos)
                end = lines.size();
            if (end > start)
                open.text += the_device.control(lines.substr(start, end - start)) + "\n";
            start = end + 1;
        }
        return static_cast<int>(size);
    }
    default:
        return -EACCES;
    }
}

int twin_truncate(const char *path, off_t, fuse_file_info *)
{
    return node_of(path) == node::ctl ? 0 : -EACCES;
}

int twin_ioctl(const char *path, unsigned int cmd, void *, fuse_file_info *, unsigned int, void *)
{
    if (node_of(path) != node::cpldirq)
        return -ENOTTY;
    return the_device.request(cmd, [] { return fuse_interrupted() != 0; }) ? 0 : -EINTR;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s MOUNTPOINT\n", argv[0]);
        return 2;
    }
    fuse_operations operations{};
    operations.getattr = twin_getattr;
    operations.readdir = twin_readdir;
    operations.open = twin_open;
    operations.release = twin_release;
    operations.read = twin_read;
    operations.write = twin_write;
    operations.truncate = twin_truncate;
    operations.ioctl = twin_ioctl;

    char program[] = "linewatch-twin";
    char options_flag[] = "-o";
    char options[] = "fsname=linewatch-twin,attr_timeout=0,entry_timeout=0,negative_timeout=0";
    char *fuse_argv[] = {program, argv[1], options_flag, options, nullptr};
    return fuse_main(4, fuse_argv, &operations, nullptr);
}
