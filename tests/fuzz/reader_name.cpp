// SPDX-License-Identifier: BSD-3-Clause
// Readername.txt: its first line names one more supported reader. Any file content, and
// any reader name to test against the table it gives.
#include "fuzz_input.h"
#include "reader_connection.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace tessary;

namespace {

// One file, rewritten for every input.
const std::string& namePath() {
    static const std::string path = (fuzz::scratchFolder() / kReaderNameFile).string();
    return path;
}

void writeFile(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()));
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::string_view reader = input.piece();
    const std::string_view content = input.rest();

    writeFile(namePath(), content);
    const std::string name = LoadExtraReaderName(namePath().c_str());
    // At most 126 bytes of the file's first line, never past its first line feed.
    FUZZ_CHECK(name.size() <= 126 && content.starts_with(name));
    FUZZ_CHECK(name.find('\n') == std::string::npos);

    const SupportedReaders table = MakeSupportedReaders(name);
    for (const auto& slot : table) {
        FUZZ_CHECK(slot.back() == '\0');
    }
    FUZZ_CHECK(IsSupportedReader("KALDOR TR-100 00 00", table));
    const std::string_view extra(table[2].data());
    FUZZ_CHECK(name.starts_with(extra));
    if (!extra.empty() && reader.starts_with(extra)) {
        FUZZ_CHECK(IsSupportedReader(reader, table));
    }
    const bool supported = IsSupportedReader(reader, table);
    FUZZ_CHECK(supported ==
               (reader.starts_with("KALDOR TR-100") || reader.starts_with("KALDOR RF-9000") ||
                (!extra.empty() && reader.starts_with(extra))));

    // A name from elsewhere, longer than a slot: cut to fit, never past it.
    const SupportedReaders wide = MakeSupportedReaders(input.asText({data, size}));
    FUZZ_CHECK(wide[2].back() == '\0');
    return 0;
}
