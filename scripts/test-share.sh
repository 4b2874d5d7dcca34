#!/usr/bin/env bash
# Prints the tests' share of the C++ code (non-blank, non-comment lines of
# tracked *.cpp/*.h files; tests are those under tests/ and *_test.cpp
# files) and fails above the owner's limit of 35 %.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r cat | grep -c -v -E '^\s*(//.*)?$' || true; }
all=$(git ls-files | grep -E '\.(cpp|cc|h|hpp)$' | count)
tests=$(git ls-files | grep -E '(^|/)tests?/.*\.(cpp|cc|h|hpp)$|_test\.(cpp|cc)$' | count)
echo "test lines: $tests of $all C++ lines ($((1000 * tests / all / 10)).$((1000 * tests / all % 10)) %, limit 35 %)"
[ $((100 * tests)) -le $((35 * all)) ]
