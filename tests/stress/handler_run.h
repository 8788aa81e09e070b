// Shell fragment for sandbox scripts that run the real handler, `vornic -s`, under a generous
// timeout, so that a handler that hangs fails its test rather than stalling the suite.
#pragma once

#include <string>

// Starts `vornic -s` in the background as $HANDLER, its output in /run/handler.out and
// /run/handler.err, and waits for its "Waiting for commands" line. finish() waits for it,
// copies its stdout and stderr to the script's, and exits with its status: 124 when the
// timeout had to end it.
inline const std::string start_handler = R"sh(
    # A second start in one script must not take the first handler's output for its own.
    rm -f /run/handler.out /run/handler.err
    timeout 120 "$VORNIC" -s >/run/handler.out 2>/run/handler.err & HANDLER=$!
    until grep -qs '^<6> Waiting for commands' /run/handler.out ||
          ! kill -0 $HANDLER 2>/dev/null; do
        sleep 0.01
    done
    executed() { grep -c 'Action executed' /run/handler.out || true; }
    finish() { wait $HANDLER; status=$?; cat /run/handler.out; cat /run/handler.err >&2
               exit $status; }
)sh";
