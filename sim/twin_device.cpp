#include "sim/twin_device.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ctime>
#include <sstream>

namespace twin {

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool parse_number(const std::string &text, long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    value = strtol(text.c_str(), &end, 0);
    return *end == '\0';
}

bool parse_register(const std::string &text, int &reg)
{
    long value;
    if (!parse_number(text, value) || value < 0 || value > 255)
        return false;
    reg = static_cast<int>(value);
    return true;
}

std::string hex(unsigned value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

} // namespace

void device::note(const std::string &what)
{
    if (journal_.size() >= journal_cap)
        journal_.erase(journal_.begin(), journal_.begin() + journal_cap / 2);
    journal_.push_back({now(), what});
}

bool device::consume_failure(int &remaining)
{
    if (remaining == 0)
        return false;
    if (remaining > 0)
        --remaining;
    return true;
}

bool device::write_register(int reg, uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const bool failed = consume_failure(faults_[reg].writes);
    note((failed ? "write-failed " : "write ") + std::to_string(reg) + " " + hex(value));
    if (!failed)
        registers_[reg] = value;
    changed_.notify_all();
    return !failed;
}

void device::note_open(int flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_flags_ = flags;
    ++opens_;
    note("open " + hex(static_cast<unsigned>(flags)));
}

std::string device::settings_text()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const auto &[key, value] : settings_)
        text += key + "=" + value + "\n";
    return text;
}

std::string device::journal_text()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    char stamp[32];
    for (const auto &item : journal_) {
        snprintf(stamp, sizeof stamp, "%.6f ", item.time);
        text += stamp + item.what + "\n";
    }
    return text;
}

std::string device::stats() const
{
    auto count = [this](unsigned code) {
        auto found = requests_.find(code);
        return std::to_string(found == requests_.end() ? 0 : found->second);
    };
    std::ostringstream out;
    out << "pending=" << pending_irqs_ << " waiting=" << waiting_ << " opens=" << opens_
        << " open_flags=" << (open_flags_ < 0 ? std::string("none") : hex(static_cast<unsigned>(open_flags_)))
        << " req17=" << count(0x11) << " req51=" << count(0x33) << " req34=" << count(0x22)
        << " reads9=" << register_reads_[9] << " reads10=" << register_reads_[10]
        << " reads16=" << register_reads_[16];
    return out.str();
}

template <typename Ready>
std::string device::wait(std::unique_lock<std::mutex> &lock, const std::string &milliseconds, Ready ready)
{
    long limit;
    if (!parse_number(milliseconds, limit) || limit < 0)
        return "error: bad time limit";
    return changed_.wait_for(lock, std::chrono::milliseconds(limit), ready) ? "ok" : "timeout";
}

std::string device::control(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    if (words.empty())
        return "error: empty command";
    std::unique_lock<std::mutex> lock(mutex_);
    if (words[0] == "set") {
        if (words.size() < 2)
            return "error: set KEY [VALUE]";
        // The value is the rest of the line, blanks and all.
        const size_t key_end = line.find(words[1], line.find(words[0]) + words[0].size()) + words[1].size();
        const size_t value_at = line.find_first_not_of(' ', key_end);
        settings_[words[1]] = value_at == std::string::npos ? "" : line.substr(value_at);
        return "ok";
    }
    return run(words, lock);
}

std::string device::run(const std::vector<std::string> &words, std::unique_lock<std::mutex> &lock)
{
    const std::string &verb = words[0];
    const size_t n = words.size();
    int reg = 0;
    long number = 0;

    if (verb == "reg" && (n == 2 || n == 3) && parse_register(words[1], reg)) {
        if (n == 2)
            return hex(registers_[reg]);
        if (!parse_number(words[2], number) || number < 0 || number > 255)
            return "error: value 0 to 255";
        registers_[reg] = static_cast<uint8_t>(number);
        note("set " + std::to_string(reg) + " " + hex(registers_[reg]));
        return "ok";
    }
    if (verb == "fail" && (n == 3 || n == 4) && parse_register(words[1], reg)) {
        int times = -1;
        if (n == 4) {
            if (!parse_number(words[3], number) || number < 1 || number > 1000000)
                return "error: fail REG read|write|both [COUNT]";
            times = static_cast<int>(number);
        }
        if (words[2] != "read" && words[2] != "write" && words[2] != "both")
            return "error: fail REG read|write|both [COUNT]";
        if (words[2] != "write")
            faults_[reg].reads = times;
        if (words[2] != "read")
            faults_[reg].writes = times;
        return "ok";
    }
    if (verb == "heal" && n == 2 && parse_register(words[1], reg)) {
        faults_[reg] = fault{};
        return "ok";
    }
    if (verb == "irq" && n == 1) {
        ++pending_irqs_;
        settle_mark_ = line_reads();
        note("irq");
        changed_.notify_all();
        return "ok";
    }
    // A fresh device and counters for the next test.
    if (verb == "reset" && n == 1) {
        std::fill(std::begin(registers_), std::end(registers_), 0);
        std::fill(std::begin(register_reads_), std::end(register_reads_), 0);
        requests_.clear();
        settle_mark_ = 0;
        gate_closed_ = false;
        reads_since_gate_opened_ = 0;
        std::fill(std::begin(faults_), std::end(faults_), fault{});
        settings_.clear();
        pending_irqs_ = 0;
        journal_.clear();
        return "ok";
    }
    if (verb == "unset" && n == 2) {
        settings_.erase(words[1]);
        return "ok";
    }
    if (verb == "stats" && n == 1)
        return stats();
    if (verb == "journal-clear" && n == 1) {
        journal_.clear();
        return "ok";
    }
    // The daemon is idle when it sleeps in the interrupt wait with nothing
    // left to take.
    if (verb == "wait-idle" && n == 2)
        return wait(lock, words[1], [this] { return waiting_ > 0 && pending_irqs_ == 0; });
    // Settled: idle, or, while the daemon holds a relay and polls without
    // interrupts, a whole pass of the nine inputs begun and ended since the
    // last interrupt was raised or the gate opened (a pass reads registers 9
    // and 10 nine times).
    if (verb == "wait-settled" && n == 2)
        return wait(lock, words[1], [this] {
            return (waiting_ > 0 && pending_irqs_ == 0) || line_reads() - settle_mark_ >= 2 * 9;
        });
    // The gate lets a test change several registers and settings between two
    // passes: closed, it stops the daemon at the start of its next pass (after
    // the one that followed the last opening), so the pass after the opening
    // sees all the changes or none. The daemon's phase is known when the gate
    // opens: it waits at the gate or for an interrupt.
    if (verb == "gate" && n == 2 && (words[1] == "close" || words[1] == "open")) {
        gate_closed_ = words[1] == "close";
        if (!gate_closed_) {
            settle_mark_ = line_reads();
            reads_since_gate_opened_ = 0;
        }
        changed_.notify_all();
        return "ok";
    }
    // Until the daemon waits at the closed gate or in the interrupt wait. A
    // reader let through by the last opening may not have left the gate yet:
    // it does not count.
    if (verb == "wait-gated" && n == 2)
        return wait(lock, words[1], [this] {
            return (gated_ > 0 && at_closed_gate()) || (waiting_ > 0 && pending_irqs_ == 0);
        });
    if (verb == "wait-request" && n == 4 && parse_number(words[1], number)) {
        const auto code = static_cast<unsigned>(number);
        long count;
        if (!parse_number(words[2], count))
            return "error: wait-request CODE COUNT MS";
        return wait(lock, words[3], [this, code, count] {
            auto found = requests_.find(code);
            return found != requests_.end() && found->second >= static_cast<unsigned long>(count);
        });
    }
    if (verb == "wait-reads" && n == 4 && parse_register(words[1], reg) && parse_number(words[2], number))
        return wait(lock, words[3], [this, reg, number] {
            return register_reads_[reg] >= static_cast<unsigned long>(number);
        });
    return "error: unknown command '" + verb + "'";
}

} // namespace twin
