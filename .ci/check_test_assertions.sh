#!/bin/bash
# Fails when a GoogleTest test uses one of QtTest's verification macros. Those
# report to QtTest's logger and return: GoogleTest counts the test as passed and
# skips every check after the macro. Use EXPECT_/ASSERT_ and test::waitUntil.
set -euo pipefail
cd "$(dirname "$0")/.."

pattern='\bQ(VERIFY[A-Z0-9_]*|COMPARE[A-Z0-9_]*|TRY_[A-Z0-9_]+|FAIL|SKIP|EXPECT_FAIL|THROWS_[A-Z0-9_]*)[[:space:]]*\('

# Everything under tests/, and any other source that includes GoogleTest.
mapfile -d '' files < <(find . \( -path './build*' -o -path './.git' \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
checked=()
for file in "${files[@]}"; do
    if [[ $file == ./tests/* ]] || grep -qE '#include[[:space:]]*[<"](gtest|gmock)/' "$file"; then
        checked+=("$file")
    fi
done
[ ${#checked[@]} -gt 0 ] || { echo "no GoogleTest sources found" >&2; exit 1; }

if grep -nHE "$pattern" "${checked[@]}"; then
    echo "QtTest verification macros cannot fail a GoogleTest test; use EXPECT_/ASSERT_" \
        "and test::waitUntil (tests/support/wait.h)." >&2
    exit 1
fi
echo "no QtTest verification macro in ${#checked[@]} GoogleTest sources"
