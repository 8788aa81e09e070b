// SPDX-License-Identifier: MIT
// Owning pointers for the C handles vornic holds: JSON documents, stdio streams, sd-bus objects.
#pragma once

#include <jansson.h>
#include <systemd/sd-bus.h>

#include <cstdio>
#include <memory>

struct JsonUnref {
    void operator()(json_t* json) const { json_decref(json); }
};
using JsonPtr = std::unique_ptr<json_t, JsonUnref>;

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileClose>;

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;

struct BusMessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusMessagePtr = std::unique_ptr<sd_bus_message, BusMessageUnref>;

// An sd_bus_error that is freed on scope exit.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
    sd_bus_error* get() { return &error; }
    const char* message() const { return error.message; }
};
