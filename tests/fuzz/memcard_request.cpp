// SPDX-License-Identifier: BSD-3-Clause
// The memory-card pages' checks of their fields and log text, and the log lines of a
// library answer, for every operation of the catalogue and any text in the fields.
#include "memcard_request.h"
#include "fuzz_input.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const auto tag = static_cast<uint16_t>(input.byte() % (kMemCardOperationCount + 3));
    const bool otherType = input.flag();
    const bool checked = input.flag();
    MemCardFields fields;
    fields.address = input.piece();
    fields.length = input.piece();
    for (std::string& key : fields.keys) {
        key = input.piece();
    }
    fields.log = input.longPiece();

    const MemCardOperation* operation = FindMemCardOperation(tag);
    MemCardRequest request;
    request.operationName = MemCardOperationName(tag, otherType, checked);
    FUZZ_CHECK((operation == nullptr) == request.operationName.empty());
    std::string status;
    const bool go = Sle18283242CheckInputEdit(tag, fields, request, status);
    FUZZ_CHECK(go ? status.empty() : !status.empty() && status.size() <= 255);
    if (go && operation->inputs == MemCardInputs::AddressLength) {
        FUZZ_CHECK(request.address >= operation->addressLow &&
                   request.address <= operation->addressHigh);
        FUZZ_CHECK(request.length >= operation->lengthLow &&
                   request.length <= operation->lengthHigh && request.count == request.length);
        if (operation->dataFromLog) {
            const LogBytes log = ParseLogBytes(fields.log, request.length);
            FUZZ_CHECK(log.converted && log.bytes.size() == request.length &&
                       std::equal(log.bytes.begin(), log.bytes.end(), request.data.begin()));
        }
    }

    // Any length against any log text: never more bytes than asked for or than pairs typed.
    const uint32_t length = input.u16();
    const LogBytes log = ParseLogBytes(fields.log, length);
    FUZZ_CHECK(log.bytes.size() <= length);
    FUZZ_CHECK(log.converted || log.bytes.empty());

    // The answer: any result, any count the library might report, any bytes.
    request.result = static_cast<int32_t>(input.u32() & 0x800000FF);
    request.count = input.u16();
    const auto answer = input.bytes(request.data.size());
    std::copy(answer.begin(), answer.end(), request.data.begin());
    const auto protect = input.bytes(request.protect.size());
    std::copy(protect.begin(), protect.end(), request.protect.begin());
    const MemCardResultLog result = Sle18283242CheckReturn(tag, request);
    FUZZ_CHECK(!result.status.empty() && result.status.size() <= 255);
    FUZZ_CHECK(result.lines.size() <= 4);
    for (const std::string& line : result.lines) {
        FUZZ_CHECK(line.size() <= request.hexText.size());
    }
    return 0;
}
