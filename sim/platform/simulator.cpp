// SPDX-License-Identifier: MIT
// The call path shared by every simulated method, and the two files tests read afterwards.
//
// The log is shared with the other simulators of the camera, so it is opened O_APPEND and
// every line goes out in one write(2). One line per method call, written when it is answered:
//
//   bus: METHOD(ARGUMENTS) -> RESULT
//
// ARGUMENTS are the call's arguments joined by ", ". RESULT is "ok" for an empty reply, the
// value itself for a one-value reply, "(V1, V2, ...)" for more, or
// "error com.norv.Error.Failed: MESSAGE" for a scripted failure. Strings are double-quoted
// with \" \\ \n \t and \xNN escapes, doubles printed with %g, integers in decimal:
//
//   bus: StopService("audiod") -> ok
//   bus: StartService("streamd") -> error com.norv.Error.Failed: streamd failed to start
//   bus: Reboot() -> ok
//   bus: GetDayNight() -> "night"
//   bus: GetStatus(0) -> ("camera", "1920x1080", "normal", "ok", 0, 0, 90.4)
//   bus: AbsoluteRoll(1, -179) -> ok
//
// The state file is rewritten after every answered call (temporary file, then rename):
//
//   roll -179
//   reboot requested no
//   service audiod stopped
//   service streamd running
//
// with one "service" line per service called so far, in name order.
#include "simulator.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* FAILED = "com.norv.Error.Failed";

std::string format(const Value& value) {
    if (const std::string* text = std::get_if<std::string>(&value))
        return quoted(*text);
    char buffer[64];
    if (const double* number = std::get_if<double>(&value))
        snprintf(buffer, sizeof buffer, "%g", *number);
    else
        snprintf(buffer, sizeof buffer, "%d", std::get<int32_t>(value));
    return buffer;
}

std::string joined(const std::vector<Value>& values) {
    std::string text;
    for (const Value& value : values)
        text += (text.empty() ? "" : ", ") + format(value);
    return text;
}

int append(sd_bus_message* message, const Value& value) {
    if (const std::string* text = std::get_if<std::string>(&value))
        return sd_bus_message_append(message, "s", text->c_str());
    if (const double* number = std::get_if<double>(&value))
        return sd_bus_message_append(message, "d", *number);
    return sd_bus_message_append(message, "i", std::get<int32_t>(value));
}

void log_line(const Simulator& sim, std::string line) {
    if (!sim.log)
        return;
    line += '\n';
    // A failed log write must not change what the caller sees; the test reading it will notice.
    if (write(sim.log.get(), line.data(), line.size()) < 0)
        perror("vornic-platform-sim: log");
}

int on_delay_elapsed(sd_event_source* source, uint64_t, void* userdata) {
    Simulator& sim = *static_cast<Simulator*>(userdata);
    for (auto it = sim.delayed.begin(); it != sim.delayed.end(); ++it) {
        if (it->timer.get() != source)
            continue;
        BusMessagePtr call = std::move(it->call);
        Serve serve = it->serve;
        sim.delayed.erase(it);
        int r = serve(sim, call.get());
        if (r < 0)
            sd_bus_reply_method_errno(call.get(), r, nullptr);
        return 0;
    }
    return 0;
}

} // namespace

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int open_log(Simulator& sim) {
    if (sim.scenario.log_path.empty())
        return 0;
    sim.log.reset(
        open(sim.scenario.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    return sim.log ? 0 : -errno;
}

int dispatch(Simulator& sim, sd_bus_message* call, Serve serve) {
    auto delay = sim.scenario.delays_ms.find(sd_bus_message_get_member(call));
    if (delay == sim.scenario.delays_ms.end() || delay->second == 0)
        return serve(sim, call);

    sd_event* event = sd_bus_get_event(sd_bus_message_get_bus(call));
    sd_event_source* timer = nullptr;
    // An accuracy of 1us: the default lets the timer fire up to 250ms late.
    int r = sd_event_add_time_relative(event, &timer, CLOCK_MONOTONIC,
                                       uint64_t{delay->second} * 1000, 1, on_delay_elapsed, &sim);
    if (r < 0)
        return r;
    sim.delayed.push_back({EventSourcePtr(timer), BusMessagePtr(sd_bus_message_ref(call)), serve});
    return 1;
}

std::string call_text(sd_bus_message* call, const std::vector<Value>& arguments) {
    return std::string(sd_bus_message_get_member(call)) + "(" + joined(arguments) + ")";
}

int reply_failure(Simulator& sim, sd_bus_message* call, const std::string& text,
                  const std::string& message) {
    log_line(sim, "bus: " + text + " -> error " + FAILED + ": " + message);
    return sd_bus_reply_method_errorf(call, FAILED, "%s", message.c_str());
}

int reply_values(Simulator& sim, sd_bus_message* call, const std::string& text,
                 const std::vector<Value>& values) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_return(call, &raw);
    BusMessagePtr reply(raw);
    for (size_t i = 0; r >= 0 && i < values.size(); i++)
        r = append(reply.get(), values[i]);
    if (r < 0)
        return r;

    write_state(sim);
    // Appended, not "(" + ...: GCC 12 at -O3 takes that insertion at the front for an
    // overlapping copy (-Wrestrict).
    std::string result;
    if (values.empty())
        result = "ok";
    else if (values.size() == 1)
        result = format(values[0]);
    else
        result.append("(").append(joined(values)).append(")");
    log_line(sim, "bus: " + text + " -> " + result);
    return sd_bus_send(nullptr, reply.get(), nullptr);
}

void write_state(const Simulator& sim) {
    const std::string& path = sim.scenario.state_path;
    if (path.empty())
        return;
    std::string temporary = path + ".tmp";
    {
        FilePtr file(fopen(temporary.c_str(), "we"));
        if (!file) {
            perror("vornic-platform-sim: state");
            return;
        }
        fprintf(file.get(), "roll %g\n", sim.roll);
        fprintf(file.get(), "reboot requested %s\n", sim.reboot_requested ? "yes" : "no");
        for (const auto& [service, running] : sim.running)
            fprintf(file.get(), "service %s %s\n", service.c_str(),
                    running ? "running" : "stopped");
        if (fflush(file.get()) != 0) {
            perror("vornic-platform-sim: state");
            return;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) < 0)
        perror("vornic-platform-sim: state");
}
