// The simulated device behind the twin's file system: CPLD registers with
// injectable read and write failures, the interrupt line, the settings
// store, counters of every request and register read, and a journal of them
// with times, so tests can wait on what the daemon did instead of sleeping.
// Thread-safe: the file system serves requests from several threads, and a
// daemon waiting for an interrupt blocks one of them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace twin {

class device {
public:
    // Register access as the stand-in libcpld.so sees it: false on an
    // injected failure. While the gate is closed, the read of a line
    // register (9 or 10) that begins a pass waits for it, unless `cancelled`
    // says the reader has gone.
    template <typename Cancelled> bool read_register(int reg, uint8_t &value, Cancelled cancelled);
    bool write_register(int reg, uint8_t value);

    void note_open(int flags);
    // Requests on the interrupt device. 0x33 blocks until an interrupt is
    // pending or `cancelled` says the caller has gone; returns false then.
    template <typename Cancelled> bool request(unsigned code, Cancelled cancelled);

    std::string settings_text();

    // One control line in, one reply line out (without newline).
    std::string control(const std::string &line);

    std::string journal_text();

private:
    static constexpr size_t journal_cap = 200000;
    static constexpr unsigned wait_irq = 0x33;
    static constexpr unsigned arm = 0x11;

    struct fault {
        int reads = 0; // failures to come; -1 for every read
        int writes = 0;
    };
    struct entry {
        double time;
        std::string what;
    };

    void note(const std::string &what);
    template <typename Ready> std::string wait(std::unique_lock<std::mutex> &lock, const std::string &milliseconds, Ready ready);
    static bool consume_failure(int &remaining);
    std::string run(const std::vector<std::string> &words, std::unique_lock<std::mutex> &lock);
    std::string stats() const;
    unsigned long line_reads() const { return register_reads_[9] + register_reads_[10]; }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    uint8_t registers_[256] = {};
    fault faults_[256];
    unsigned long register_reads_[256] = {};
    std::map<unsigned, unsigned long> requests_;
    unsigned pending_irqs_ = 0;
    unsigned waiting_ = 0;
    // Line reads when the last interrupt was raised or the gate opened.
    unsigned long settle_mark_ = 0;
    bool gate_closed_ = false;
    unsigned gated_ = 0;
    // A pass reads the line registers nine times. The gate stops the daemon
    // at the start of a pass, never inside one, and only after the pass that
    // followed its opening.
    unsigned long reads_since_gate_opened_ = 0;
    bool at_closed_gate() const
    {
        return gate_closed_ && reads_since_gate_opened_ >= 9 && reads_since_gate_opened_ % 9 == 0;
    }
    int open_flags_ = -1;
    unsigned long opens_ = 0;
    std::map<std::string, std::string> settings_;
    std::vector<entry> journal_;
};

template <typename Cancelled> bool device::read_register(int reg, uint8_t &value, Cancelled cancelled)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (reg == 9 || reg == 10) {
        if (at_closed_gate()) {
            ++gated_;
            changed_.notify_all();
            while (at_closed_gate() && !cancelled())
                changed_.wait_for(lock, std::chrono::milliseconds(50));
            --gated_;
            if (at_closed_gate())
                return false;
        }
        ++reads_since_gate_opened_;
    }
    ++register_reads_[reg];
    const bool failed = consume_failure(faults_[reg].reads);
    note((failed ? "read-failed " : "read ") + std::to_string(reg));
    changed_.notify_all();
    value = registers_[reg];
    return !failed;
}

template <typename Cancelled> bool device::request(unsigned code, Cancelled cancelled)
{
    std::unique_lock<std::mutex> lock(mutex_);
    ++requests_[code];
    note("ioctl " + std::to_string(code));
    changed_.notify_all();
    if (code != wait_irq)
        return true;

    ++waiting_;
    changed_.notify_all();
    while (pending_irqs_ == 0) {
        if (cancelled()) {
            --waiting_;
            note("ioctl 51 cancelled");
            changed_.notify_all();
            return false;
        }
        changed_.wait_for(lock, std::chrono::milliseconds(50));
    }
    --pending_irqs_;
    --waiting_;
    note("ioctl 51 returns");
    changed_.notify_all();
    return true;
}

} // namespace twin
