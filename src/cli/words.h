// Words of a command line as msvcrt.dll, which the exe links, and
// CommandLineToArgvW split it into argv: blanks and tabs separate; double
// quotes group (a doubled quote inside a group is a literal quote and ends
// the group; the C runtimes from 2008 on keep it open, and acctmap follows
// the runtime it runs on); backslashes are literal except before a quote,
// where 2n of them give n and a grouping quote, 2n+1 give n and a literal
// quote. The program's own path, word 0, ends at the first blank outside
// quotes and knows no backslash rule. One splitter serves the wide command
// line and the lines of an accounts file, so the words checked are the
// words used.
#pragma once

#include <cstddef>

enum WordResult {
    kNoMoreWords,  // only blanks were left
    kWordRead,
    kWordTooLong,  // the word did not fit; `word` holds its start
};

template <typename C>
inline bool IsWordBlank(C c) {
    return c == C(' ') || c == C('\t');
}

// Reads the word at `*at` in `line` into `word` (`size` units, terminator
// included) and moves `*at` past it. `programPath`: word 0's rule.
template <typename C>
WordResult NextWord(const C* line, size_t* at, C* word, size_t size, bool programPath = false) {
    size_t i = *at;
    while (IsWordBlank(line[i])) {
        ++i;
    }
    if (line[i] == C(0) || size == 0) {
        *at = i;
        return kNoMoreWords;
    }
    size_t used = 0;
    bool fits = true;
    // Keeps the first size - 1 units; the rest only counts against the fit.
    auto put = [&](C c) {
        if (used + 1 < size) {
            word[used++] = c;
        } else {
            fits = false;
        }
    };
    bool quoted = false;
    while (line[i] != C(0) && (quoted || !IsWordBlank(line[i]))) {
        if (programPath) {
            if (line[i] == C('"')) {
                quoted = !quoted;
            } else {
                put(line[i]);
            }
            ++i;
            continue;
        }
        size_t backslashes = 0;
        while (line[i] == C('\\')) {
            ++backslashes;
            ++i;
        }
        if (line[i] != C('"')) {
            for (; backslashes > 0; --backslashes) {
                put(C('\\'));
            }
            if (line[i] != C(0) && (quoted || !IsWordBlank(line[i]))) {
                put(line[i++]);
            }
            continue;
        }
        for (size_t pair = 0; pair < backslashes / 2; ++pair) {
            put(C('\\'));
        }
        if (backslashes % 2 == 1) {
            put(C('"'));
        } else if (quoted && line[i + 1] == C('"')) {
            put(C('"'));
            ++i;
            quoted = false;
        } else {
            quoted = !quoted;
        }
        ++i;
    }
    word[used] = C(0);
    *at = i;
    return fits ? kWordRead : kWordTooLong;
}
