// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window's wrappers over the real engine on one side, the real
// quorval-cli process on the other, and what both write on the same disk.

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

namespace parity {

struct CliRun {
    int status = -1;  // the exit code, or -1 when the process did not exit by itself
    std::string out;
    std::string err;
};

inline std::string quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command line of quoted words in `dir`, standard input from `input`.
inline CliRun runIn(const std::string& dir, const std::vector<std::string>& words, const std::string& input = "") {
    const std::string in = dir + "/.stdin", out = dir + "/.stdout", err = dir + "/.stderr";
    enginetest::writeAll(in, input);
    std::string line;
    for (const std::string& word : words) line += quoted(word) + " ";
    const int status = std::system((line + "<" + quoted(in) + " >" + quoted(out) + " 2>" + quoted(err)).c_str());
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = enginetest::readAll(out);
    run.err = enginetest::readAll(err);
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

inline std::string describe(const CliRun& run) {
    return "exit " + std::to_string(run.status) + ", stderr: " + run.err;
}

// Rows of settings (one value index per factor) that hold every value of
// every factor, and every pair of values of any two factors marked `paired`.
// Greedy: each row is the first one of the whole product that covers the most
// of what is left, so the rows are the same on every run.
struct Factor {
    int values;
    bool paired = true;
};

inline std::vector<std::vector<int>> coveringRows(const std::vector<Factor>& factors) {
    const size_t n = factors.size();
    // need[i][j][a * values_j + b]: the pair (a, b) of factors i < j is still to cover;
    // need[i][i][a]: the value a of factor i is.
    std::vector<std::vector<std::vector<char>>> need(n, std::vector<std::vector<char>>(n));
    size_t left = 0;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i; j < n; ++j) {
            if (j > i && !(factors[i].paired && factors[j].paired)) continue;
            need[i][j].assign(j == i ? factors[i].values : factors[i].values * factors[j].values, 1);
            left += need[i][j].size();
        }
    auto gain = [&](const std::vector<int>& row, bool take) {
        size_t count = 0;
        for (size_t i = 0; i < n; ++i)
            for (size_t j = i; j < n; ++j) {
                if (need[i][j].empty()) continue;
                char& cell = need[i][j][j == i ? row[i] : row[i] * factors[j].values + row[j]];
                count += cell;
                if (take) cell = 0;
            }
        return count;
    };
    std::vector<std::vector<int>> rows;
    while (left > 0) {
        std::vector<int> row(n, 0), best;
        size_t bestGain = 0;
        for (;;) {
            const size_t g = gain(row, false);
            if (g > bestGain) bestGain = g, best = row;
            size_t k = 0;
            while (k < n && ++row[k] == factors[k].values) row[k++] = 0;
            if (k == n) break;
        }
        left -= gain(best, true);
        rows.push_back(best);
    }
    return rows;
}

// The binary form of a container in any of the three forms.
inline std::string containerBytes(const std::string& text) {
    const std::string digits = text.substr(0, 8);
    if (digits.rfind("j1FSVkMa", 0) == 0)
        return engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Base64)->DecodeText(text);
    if (digits == "8f515256" || digits == "8F515256")
        return engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Hex)->DecodeText(text);
    return text;
}

// A container's settings as written: algorithm, key length, mode, padding,
// compression, level, IV length; the IV itself; for RSA the key block's schema.
struct Header {
    std::string settings;
    std::string iv;
    int schema = -1;
    char form = '?';  // b(inary), 6 (Base64), h(ex)
};

inline Header headerOf(const std::string& text) {
    Header h;
    h.form = text.rfind("j1FSVkMa", 0) == 0 ? '6' : text.rfind("8f515256", 0) == 0 ? 'h' : 'b';
    const std::string bytes = containerBytes(text);
    if (bytes.size() < 18 || bytes.compare(0, 6, "\x8fQRVC\x1a") != 0) return h;
    const size_t ivLength = static_cast<unsigned char>(bytes[14]);
    h.settings = bytes.substr(7, 8);
    h.iv = bytes.substr(15, ivLength);
    if (bytes[7] == 2 && bytes.size() > 17 + ivLength) h.schema = bytes[17 + ivLength];
    return h;
}

}  // namespace parity
