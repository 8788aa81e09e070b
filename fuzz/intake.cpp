// Fuzz target: a byte stream cut into 4-byte client messages, taken one after another as the
// handler's wait loop takes them. Each step is checked against the merge table written out
// cell by cell. Bytes left over are dropped: the loop ends on such a short read before
// taking anything from it.
#include "check.h"

#include "handler/merge.h"

#include <cstdint>
#include <cstring>

namespace {

// The merge table as the handler documents it, indexed by [pending + 1][received + 1]:
// one row per pending action, one column per code received (NONE, ATTACH, DETACH, REATTACH).
constexpr ActionCode merged[4][4] = {
    {NONE, ATTACH, DETACH, REATTACH},       // NONE pending
    {ATTACH, ATTACH, DETACH, ATTACH},       // ATTACH pending
    {DETACH, REATTACH, DETACH, DETACH},     // DETACH pending
    {REATTACH, REATTACH, DETACH, REATTACH}, // REATTACH pending
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ActionCode pending = NONE;
    for (size_t offset = 0; offset + ACTION_WIRE_SIZE <= size; offset += ACTION_WIRE_SIZE) {
        ActionWire message;
        std::memcpy(message.data(), data + offset, ACTION_WIRE_SIZE);
        int32_t sent;
        std::memcpy(&sent, data + offset, sizeof sent);

        Intake intake = take_message(pending, message);
        FUZZ_CHECK(intake.code == sent);
        FUZZ_CHECK(intake.pending >= NONE && intake.pending <= REATTACH);
        if (sent < NONE || sent > REATTACH) {
            FUZZ_CHECK(!intake.valid);
            FUZZ_CHECK(intake.pending == pending);
            FUZZ_CHECK(!intake.execute_now);
            continue;
        }
        FUZZ_CHECK(intake.valid);
        FUZZ_CHECK(intake.pending == merged[pending + 1][sent + 1]);
        FUZZ_CHECK(intake.execute_now == (pending == NONE && sent == REATTACH));
        pending = intake.pending;
        // The loop carries the action out at once and reads no further message.
        if (intake.execute_now)
            break;
    }
    return 0;
}
