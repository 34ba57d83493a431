// SPDX-License-Identifier: BSD-3-Clause
#include "card_image.h"

#include "hex_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>

namespace tessary::memcard {
namespace {

constexpr std::string_view kMagic = "tessary-memcard";
constexpr uint32_t kRowBytes = 16;
constexpr char kProtected = 'P';
constexpr char kWritable = '-';

constexpr std::array<CardTraits, 4> kTraits{{
    {CardType::Sle4442, "SLE4442", 256, 32, 3, true},
    {CardType::Sle4432, "SLE4432", 256, 32, 0, true},
    {CardType::Sle4428, "SLE4428", 1024, 1024, 2, false},
    {CardType::Sle4418, "SLE4418", 1024, 1024, 0, false},
}};

// Exactly `digits` hexadecimal digits.
std::optional<uint32_t> parseHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        const int digit = tessary::hexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> found;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t begin = line.find_first_not_of(" \t", at);
        if (begin == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t", begin), line.size());
        found.push_back(line.substr(begin, end - begin));
        at = end;
    }
    return found;
}

// 2026-12-08T10:15:00Z
bool isDate(std::string_view text) {
    constexpr std::string_view shape = "0000-00-00T00:00:00Z";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (shape[i] == '0' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

std::string quoted(std::string_view word) {
    return "'" + std::string(word.substr(0, 24)) + (word.size() > 24 ? "...'" : "'");
}

// Reads an image line by line; the first error ends it.
class Parser {
public:
    ParsedImage run(std::string_view text) {
        std::size_t line = 0;
        std::size_t at = 0;
        while (at < text.size()) {
            ++line;
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view content = text.substr(at, end - at);
            at = end + 1;
            if (line > kMaxImageLines) {
                return fail(line, "too many lines for an image (at most " +
                                      std::to_string(kMaxImageLines) + ")");
            }
            if (content.ends_with('\r')) {
                content.remove_suffix(1);
            }
            if (!take(line, content)) {
                return {std::nullopt, m_error};
            }
        }
        const std::size_t last = std::max<std::size_t>(line, 1);
        if (!m_image) {
            return fail(last, "not a tessary-memcard image: the file holds no header line "
                              "'tessary-memcard TYPE DATE'");
        }
        if (m_rows * kRowBytes < m_image->data.size()) {
            return fail(last, "the image ends before the row at " +
                                  formatAddress(m_rows * kRowBytes) + "; an " +
                                  traits(m_image->type).name + " image has " +
                                  std::to_string(m_image->data.size() / kRowBytes) + " rows");
        }
        return {std::move(m_image), {}};
    }

private:
    ParsedImage fail(std::size_t line, std::string message) {
        m_error = {line, std::move(message)};
        return {std::nullopt, m_error};
    }
    bool error(std::size_t line, std::string message) {
        m_error = {line, std::move(message)};
        return false;
    }

    bool take(std::size_t line, std::string_view content) {
        for (char c : content) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
                return error(line, "holds a byte that is not text (0x" + formatByte(byte) + ")");
            }
        }
        if (content.size() > kMaxImageLineLength) {
            return error(line,
                         "longer than " + std::to_string(kMaxImageLineLength) + " characters");
        }
        content = content.substr(0, content.find('#')); // a comment runs to the line's end
        for (char c : content) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) {
                return error(line, "holds a byte that is not plain text (0x" + formatByte(byte) +
                                       ") outside a comment");
            }
        }
        const auto w = words(content);
        if (w.empty()) {
            return true;
        }
        if (!m_image) {
            return header(line, w);
        }
        if (m_rows * kRowBytes >= m_image->data.size()) {
            return error(line, "text after the last row");
        }
        if (w[0] == "counter") {
            return counter(line, w);
        }
        return row(line, w);
    }

    bool header(std::size_t line, const std::vector<std::string_view>& w) {
        if (w[0] != kMagic) {
            return error(line, "not a tessary-memcard image: it begins with a line "
                               "'tessary-memcard TYPE DATE'");
        }
        if (w.size() != 3) {
            return error(line, "the header line is 'tessary-memcard TYPE DATE'");
        }
        const auto type = cardTypeNamed(w[1]);
        if (!type) {
            return error(line, "unknown card type " + quoted(w[1]) +
                                   " (SLE4442, SLE4432, SLE4428 or SLE4418)");
        }
        if (!isDate(w[2])) {
            return error(line, "the date " + quoted(w[2]) + " does not read like " +
                                   "2026-12-08T10:15:00Z");
        }
        m_image = blankImage(*type);
        m_image->date = std::string(w[2]);
        return true;
    }

    bool counter(std::size_t line, const std::vector<std::string_view>& w) {
        if (m_image->type != CardType::Sle4442) {
            return error(line, std::string("only an SLE4442 image has a counter line") +
                                   (m_image->type == CardType::Sle4428
                                        ? " (the SLE4428's counter is its byte at 03FD)"
                                        : ""));
        }
        if (m_rows > 0) {
            return error(line, "the counter line goes before the first row");
        }
        if (m_image->counter) {
            return error(line, "a second counter line");
        }
        const auto value = w.size() == 2 ? parseHex(w[1], 2) : std::nullopt;
        if (!value) {
            return error(line, "the counter line is 'counter' and one byte, such as 'counter 07'");
        }
        m_image->counter = static_cast<uint8_t>(*value);
        return true;
    }

    bool row(std::size_t line, const std::vector<std::string_view>& w) {
        if (w.size() != 2 + kRowBytes) {
            return error(line, "a row is an address, 16 bytes and 16 protection marks");
        }
        const uint32_t expected = m_rows * kRowBytes;
        const auto address = parseHex(w[0], 4);
        if (!address) {
            return error(line, quoted(w[0]) + " is not an address (four hexadecimal digits)");
        }
        if (*address != expected) {
            return error(line, "expected the row at " + formatAddress(expected) + ", found " +
                                   formatAddress(*address));
        }
        for (uint32_t i = 0; i < kRowBytes; ++i) {
            const auto byte = parseHex(w[1 + i], 2);
            if (!byte) {
                return error(line, quoted(w[1 + i]) + " is not a byte (two hexadecimal digits)");
            }
            m_image->data[expected + i] = static_cast<uint8_t>(*byte);
        }
        const std::string_view marks = w[1 + kRowBytes];
        const CardTraits& card = traits(m_image->type);
        for (uint32_t i = 0; i < kRowBytes; ++i) {
            const char mark =
                i < marks.size()
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(marks[i])))
                    : '?';
            if (marks.size() != kRowBytes || (mark != kProtected && mark != kWritable)) {
                return error(line, "protection is 16 marks, P (protected) or - (writable): " +
                                       quoted(marks));
            }
            if (mark == kProtected && expected + i >= card.protectable) {
                return error(line, formatAddress(expected + i) + " cannot be protected: an " +
                                       card.name + " has protection bits for 0000 to " +
                                       formatAddress(card.protectable - 1) + " only");
            }
            m_image->protect[expected + i] = mark == kProtected;
        }
        ++m_rows;
        return true;
    }

    std::optional<CardImage> m_image;
    uint32_t m_rows = 0;
    ImageError m_error;
};

} // namespace

const CardTraits& traits(CardType type) {
    for (const auto& t : kTraits) {
        if (t.type == type) {
            return t;
        }
    }
    return kTraits[0];
}

std::optional<CardType> cardTypeNamed(std::string_view name) {
    for (const auto& t : kTraits) {
        const std::string_view known = t.name;
        if (name.size() == known.size() &&
            std::equal(name.begin(), name.end(), known.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            return t.type;
        }
    }
    return std::nullopt;
}

int attemptsLeft(CardType type, uint8_t counter) {
    return std::popcount(type == CardType::Sle4442 ? static_cast<uint8_t>(counter & 0x07)
                                                   : counter);
}

CardImage blankImage(CardType type) {
    CardImage image;
    image.type = type;
    image.data.assign(traits(type).size, 0xFF);
    image.protect.assign(traits(type).size, false);
    return image;
}

ParsedImage parseImage(std::string_view text) {
    return Parser().run(text);
}

std::string formatImage(const CardImage& image) {
    std::string text = std::string(kMagic) + " " + traits(image.type).name + " " +
                       (image.date.empty() ? "1970-01-01T00:00:00Z" : image.date) + "\n";
    if (image.counter) {
        text += "counter " + formatByte(*image.counter) + "\n";
    }
    text += "#     00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  P protected, - writable\n";
    for (uint32_t row = 0; row + kRowBytes <= image.data.size(); row += kRowBytes) {
        text += formatAddress(row) + " ";
        for (uint32_t i = row; i < row + kRowBytes; ++i) {
            text += " " + formatByte(image.data[i]);
        }
        text += "  ";
        for (uint32_t i = row; i < row + kRowBytes; ++i) {
            text += i < image.protect.size() && image.protect[i] ? kProtected : kWritable;
        }
        text += "\n";
    }
    return text;
}

std::string formatByte(uint8_t byte) {
    std::string text;
    tessary::appendHex(text, byte);
    return text;
}

std::string formatAddress(uint32_t address) {
    return formatByte(static_cast<uint8_t>(address >> 8)) +
           formatByte(static_cast<uint8_t>(address & 0xFF));
}

std::string formatRanges(const std::vector<uint32_t>& addresses) {
    std::string text;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) {
            ++j;
        }
        text += (text.empty() ? "" : ", ") + formatAddress(addresses[i]);
        if (j > i) {
            text += "-" + formatAddress(addresses[j]);
        }
        i = j + 1;
    }
    return text.empty() ? "none" : text;
}

std::vector<std::string> diffImages(const CardImage& from, const CardImage& to) {
    std::vector<std::string> lines;
    if (from.type != to.type) {
        lines.push_back(std::string("type: ") + traits(from.type).name + " -> " +
                        traits(to.type).name);
    }
    if (from.counter != to.counter) {
        const auto shown = [](const std::optional<uint8_t>& c) {
            return c ? formatByte(*c) : std::string("none");
        };
        lines.push_back("counter: " + shown(from.counter) + " -> " + shown(to.counter));
    }
    if (from.data.size() != to.data.size()) {
        return lines; // different memories: no address means the same on both
    }
    const auto side = [](const CardImage& image, std::size_t a) {
        return formatByte(image.data[a]) + (image.protect[a] ? " (protected)" : "");
    };
    for (std::size_t a = 0; a < from.data.size(); ++a) {
        if (from.data[a] != to.data[a] || from.protect[a] != to.protect[a]) {
            lines.push_back(formatAddress(static_cast<uint32_t>(a)) + ": " + side(from, a) +
                            " -> " + side(to, a));
        }
    }
    return lines;
}

} // namespace tessary::memcard
