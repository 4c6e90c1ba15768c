#!/bin/bash
# Fails when the window's code waits inside a command: a QEventLoop of its own,
# processEvents, the exec() of a box or dialog, a sleep, Qt's blocking waitFor…
# calls, or a poll/waitpid without a bound. While such a wait runs, events are
# served inside the command: a second command, a close or "$Ende$" can land in
# the middle of it, and a modal loop swallows the window manager's close.
# Commands are chains of steps instead. Not checked: the worker processes' own
# code (it has no window), the start-up hand-over before the event loop runs,
# and tests, benchmarks, fuzz targets and tools.
set -euo pipefail
cd "$(dirname "$0")/.."

# The worker processes' own code. The scanner protocol and the shared page in
# scan/service/ serve the window too, and are checked.
# And the hand-over to a running instance: it runs once in main(), before the
# window and its event loop exist, so nothing can land in its wait, which is
# bounded as a whole.
not_window_code='^\./(scan/service/(sane_[a-z_]+|scanner_worker|frame_assembler)|platform/folder_worker|shell/instance_hand_over)\.(cpp|h)$'

pattern='\bQEventLoop\b|\bprocessEvents\b|(\.|->)exec[[:space:]]*\(|\b(msleep|usleep|nanosleep|sleep_for|sleep_until|sleep)[[:space:]]*\(|\bwaitFor[A-Z][A-Za-z]*[[:space:]]*\(|\bpoll[[:space:]]*\([^;]*,[[:space:]]*-1[[:space:]]*\)|\bwaitpid[[:space:]]*\([^;]*,[[:space:]]*0[[:space:]]*\)'

mapfile -d '' files < <(find . \( -path './build*' -o -path './.git' -o -path './tests' \
    -o -path './bench' -o -path './fuzz' -o -path './tools' \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' \) -print0)

found=0
for file in "${files[@]}"; do
    [[ $file =~ $not_window_code ]] && continue
    # Comments may name what they avoid.
    if perl -ne 's{//.*}{}; print "$ARGV:$.:$_" if /'"$pattern"'/' "$file" | grep .; then
        found=1
    fi
done

if [ "$found" -ne 0 ]; then
    echo "The window's code must not wait inside a command: no QEventLoop, processEvents," \
        "exec() of a box or dialog, sleep or blocking waitFor…; continue in the next step's" \
        "handler (ask(), a signal, a timer)." >&2
    exit 1
fi
echo "no waiting loop in ${#files[@]} sources of the window"
