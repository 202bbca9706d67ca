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

// A word being written: the first size - 1 units are kept; the rest only
// count against the fit.
template <typename C>
struct WordOut {
    C* word;
    size_t size;
    size_t used;
    bool fits;
    void Put(C c) {
        if (used + 1 < size) {
            word[used++] = c;
        } else {
            fits = false;
        }
    }
};

// The run of backslashes at `line[*i]` and what follows it, inside a word:
// 2n backslashes before a quote give n and a grouping quote, 2n+1 give n
// and a literal quote, and any other number is literal.
template <typename C>
void ReadBackslashesAndQuote(const C* line, size_t* i, bool* quoted, WordOut<C>* out) {
    size_t backslashes = 0;
    for (; line[*i] == C('\\'); ++*i) {
        ++backslashes;
    }
    if (line[*i] != C('"')) {
        for (; backslashes > 0; --backslashes) {
            out->Put(C('\\'));
        }
        if (line[*i] != C(0) && (*quoted || !IsWordBlank(line[*i]))) {
            out->Put(line[(*i)++]);
        }
        return;
    }
    for (size_t pair = 0; pair < backslashes / 2; ++pair) {
        out->Put(C('\\'));
    }
    if (backslashes % 2 == 1) {
        out->Put(C('"'));
    } else if (*quoted && line[*i + 1] == C('"')) {
        out->Put(C('"'));
        ++*i;
        *quoted = false;
    } else {
        *quoted = !*quoted;
    }
    ++*i;
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
    WordOut<C> out = {word, size, 0, true};
    bool quoted = false;
    while (line[i] != C(0) && (quoted || !IsWordBlank(line[i]))) {
        if (!programPath) {
            ReadBackslashesAndQuote(line, &i, &quoted, &out);
        } else if (line[i++] == C('"')) {
            quoted = !quoted;
        } else {
            out.Put(line[i - 1]);
        }
    }
    word[out.used] = C(0);
    *at = i;
    return out.fits ? kWordRead : kWordTooLong;
}
