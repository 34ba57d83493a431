// SPDX-License-Identifier: BSD-3-Clause
#include "script.h"

#include "hex_text.h"

#include <algorithm>

namespace tessary::run {
namespace {

constexpr std::string_view kArrow = "=>";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The most characters of a piece of input that a message quotes.
constexpr std::size_t kQuotedLength = 24;

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<uint8_t> hexByte(std::string_view unit) {
    return tessary::hexByte(unit[0], unit[1]);
}

// "xx" in any mix of cases: "XX" and "xX" are what a shifted or a slipped finger types.
bool anyByte(std::string_view unit) {
    return (unit[0] == 'x' || unit[0] == 'X') && (unit[1] == 'x' || unit[1] == 'X');
}

// The input between quotes, printable whatever it holds: other bytes as \xNN, and no more
// than a message needs.
std::string quoted(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kQuotedLength; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 0x0F];
        }
    }
    if (text.size() > kQuotedLength) {
        out += "...";
    }
    return out + "\"";
}

// Two-character units of the text: runs of non-blank characters, each of an even length,
// cut into pairs. Fills `error` for a run of an odd length.
std::vector<std::string_view> unitsOf(std::string_view text, std::string& error) {
    std::vector<std::string_view> units;
    std::size_t at = 0;
    while (at < text.size()) {
        if (blank(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !blank(text[end])) {
            ++end;
        }
        const std::string_view run = text.substr(at, end - at);
        if (run.size() % 2 != 0) {
            error = quoted(run) + " has an odd number of digits";
            return {};
        }
        for (std::size_t i = 0; i < run.size(); i += 2) {
            units.push_back(run.substr(i, 2));
        }
        at = end;
    }
    return units;
}

std::optional<Bytes> parseApdu(std::string_view text, std::string& error) {
    const std::vector<std::string_view> units = unitsOf(text, error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (units.size() > kMaxApduLength) {
        error = "the APDU is longer than " + std::to_string(kMaxApduLength) + " bytes";
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(units.size());
    for (const std::string_view unit : units) {
        const auto value = hexByte(unit);
        if (!value) {
            error = quoted(unit) + " is not a hexadecimal byte";
            return std::nullopt;
        }
        bytes.push_back(*value);
    }
    return bytes;
}

// The elements a response of any length must have, and the most a response can give.
std::size_t fixedLength(const Pattern& pattern) {
    return static_cast<std::size_t>(
        std::count_if(pattern.elements.begin(), pattern.elements.end(),
                      [](const auto& e) { return e.kind != PatternElement::Kind::AnyBytes; }));
}

} // namespace

PatternParse parsePattern(std::string_view text) {
    PatternParse parsed;
    const std::vector<std::string_view> units = unitsOf(text, parsed.error);
    if (!parsed.error.empty()) {
        return parsed;
    }
    if (units.empty()) {
        parsed.error = "the response pattern is empty";
        return parsed;
    }
    auto& elements = parsed.pattern.elements;
    for (const std::string_view unit : units) {
        PatternElement element;
        if (unit == "..") {
            element.kind = PatternElement::Kind::AnyBytes;
            if (!elements.empty() && elements.back().kind == element.kind) {
                continue; // ".. .." says no more than ".."
            }
        } else if (anyByte(unit)) {
            element.kind = PatternElement::Kind::AnyByte;
        } else if (const auto value = hexByte(unit)) {
            element.value = *value;
        } else {
            parsed.error = quoted(unit) + " is neither a hexadecimal byte nor xx nor ..";
            return parsed;
        }
        elements.push_back(element);
    }
    // Every response ends in its two-byte status word, so a pattern whose last two elements
    // are not two bytes (".." among them, or only one) never matches anything.
    const bool endsInStatusWord =
        elements.size() >= 2 &&
        std::none_of(elements.end() - 2, elements.end(), [](const PatternElement& e) {
            return e.kind == PatternElement::Kind::AnyBytes;
        });
    if (!endsInStatusWord) {
        parsed.error = "the response pattern cannot match: it must end in the two bytes of "
                       "the status word";
    } else if (fixedLength(parsed.pattern) > kMaxApduLength) {
        parsed.error = "the response pattern cannot match: it is longer than any response";
    }
    return parsed;
}

PatternParse statusWordPattern(std::string_view text) {
    PatternParse parsed = parsePattern(text);
    const auto& elements = parsed.pattern.elements;
    if (!parsed.error.empty() || elements.size() != 2) {
        // parsePattern already refuses ".." among the last two, so two elements are two bytes.
        parsed.pattern = {};
        parsed.error = quoted(text) + " is no status word: two hexadecimal bytes (xx for any)";
        return parsed;
    }
    parsed.pattern.elements.insert(parsed.pattern.elements.begin(),
                                   PatternElement{PatternElement::Kind::AnyBytes, 0});
    return parsed;
}

bool matchPattern(const Pattern& pattern, std::span<const uint8_t> response) {
    // Wildcard matching that goes back only to the last "..": linear for the patterns
    // people write, at most patterns times responses for any.
    const auto& elements = pattern.elements;
    std::size_t p = 0;
    std::size_t r = 0;
    std::optional<std::size_t> star;
    std::size_t starResponse = 0;
    while (r < response.size()) {
        if (p < elements.size() && elements[p].kind == PatternElement::Kind::AnyBytes) {
            star = p++;
            starResponse = r;
        } else if (p < elements.size() && (elements[p].kind == PatternElement::Kind::AnyByte ||
                                           elements[p].value == response[r])) {
            ++p;
            ++r;
        } else if (star) {
            p = *star + 1;
            r = ++starResponse;
        } else {
            return false;
        }
    }
    while (p < elements.size() && elements[p].kind == PatternElement::Kind::AnyBytes) {
        ++p;
    }
    return p == elements.size();
}

std::string formatPattern(const Pattern& pattern) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const PatternElement& e : pattern.elements) {
        if (!text.empty()) {
            text += ' ';
        }
        switch (e.kind) {
        case PatternElement::Kind::AnyBytes:
            text += "..";
            break;
        case PatternElement::Kind::AnyByte:
            text += "xx";
            break;
        case PatternElement::Kind::Byte:
            text += kDigits[e.value >> 4];
            text += kDigits[e.value & 0x0F];
            break;
        }
    }
    return text;
}

ScriptParse parseScript(std::string_view text) {
    ScriptParse script;
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    const auto fail = [&script](std::size_t line, std::string message) {
        script.commands.clear();
        script.errorLine = line;
        script.error = std::move(message);
        return script;
    };
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
        if (feed != std::string_view::npos && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        line = line.substr(0, line.find('#'));
        const std::size_t arrow = line.find(kArrow);
        const std::string_view apduText = line.substr(0, arrow);
        std::string error;
        std::optional<Bytes> apdu = parseApdu(apduText, error);
        if (!apdu) {
            return fail(lineNumber, error);
        }
        if (arrow == std::string_view::npos && apdu->empty()) {
            continue; // a blank line or a comment
        }
        if (apdu->empty()) {
            return fail(lineNumber, "a response pattern without an APDU before it");
        }
        ScriptCommand command{lineNumber, std::move(*apdu), std::nullopt};
        if (arrow != std::string_view::npos) {
            PatternParse pattern = parsePattern(line.substr(arrow + kArrow.size()));
            if (!pattern.error.empty()) {
                return fail(lineNumber, pattern.error);
            }
            command.expect = std::move(pattern.pattern);
        }
        script.commands.push_back(std::move(command));
    }
    return script;
}

} // namespace tessary::run
