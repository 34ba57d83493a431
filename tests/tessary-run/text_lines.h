// SPDX-License-Identifier: BSD-3-Clause
// A program's output as the tests read it: line by line, without the line ends.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace runtest {

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace runtest
