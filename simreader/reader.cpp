// SPDX-License-Identifier: BSD-3-Clause
#include "reader.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace simreader {
namespace {

// How long a slot stays empty once its card left: longer than pcscd's status poll (400 ms),
// and how many presence answers say so.
constexpr std::chrono::milliseconds kEmptySlotTime{500};
constexpr int kAbsentAnswers = 2;

// The largest command pcscd forwards; anything longer is refused before it is looked at.
constexpr std::size_t kMaxCommand = MAX_BUFFER_SIZE_EXTENDED;

RESPONSECODE copyAnswer(const Bytes& reply, std::span<uint8_t> answer, DWORD& received) {
    if (reply.size() > answer.size()) {
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    std::copy(reply.begin(), reply.end(), answer.begin());
    received = static_cast<DWORD>(reply.size());
    return IFD_SUCCESS;
}

// A string attribute, with its terminating zero as readers usually report it.
RESPONSECODE copyText(std::string_view text, std::span<uint8_t> value, DWORD& length) {
    if (text.size() + 1 > value.size()) {
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(value.data(), text.data(), text.size());
    value[text.size()] = 0;
    length = static_cast<DWORD>(text.size() + 1);
    return IFD_SUCCESS;
}

RESPONSECODE copyByte(uint8_t byte, std::span<uint8_t> value, DWORD& length) {
    if (value.empty()) {
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    value[0] = byte;
    length = 1;
    return IFD_SUCCESS;
}

std::string onOff(bool on) {
    return on ? "1" : "0";
}

// As control codes are written down: 0x42000DAC.
std::string controlCodeText(DWORD code) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

} // namespace

Reader::Reader(std::filesystem::path folder) : m_folder(std::move(folder)), m_host(thisProcess()) {
    if (auto name = readSmallFile(m_folder / kNameFile)) {
        m_name = *name;
        while (!m_name.empty() && (m_name.back() == '\n' || m_name.back() == '\r')) {
            m_name.pop_back();
        }
    }
    std::lock_guard lock(m_mutex);
    refreshDriver();
    refreshCard();
    publish();
}

void Reader::refreshDriver() {
    const FileStamp stamp = stampOf(m_folder / kDriverFile);
    if (stamp == m_driverStamp) {
        return;
    }
    m_driverStamp = stamp;
    m_personality = Personality::Native;
    m_driverRefusal.clear();
    if (stamp.exists) {
        std::string error = "the driver file cannot be read";
        const auto text = readSmallFile(m_folder / kDriverFile);
        const auto personality = text ? parseDriverFile(*text, error) : std::nullopt;
        if (personality) {
            m_personality = *personality;
        } else {
            m_driverRefusal = error;
        }
    }
    publish();
}

void Reader::refreshCard() {
    const FileStamp stamp = stampOf(m_folder / kCardFile);
    if (stamp != m_cardStamp) {
        m_cardStamp = stamp;
        m_setting.reset();
        m_refusal.clear();
        if (stamp.exists) {
            std::string error = "the card file cannot be read";
            auto text = readSmallFile(m_folder / kCardFile);
            auto values = text ? parseKeyValues(*text, error) : std::nullopt;
            if (values) {
                m_setting = parseCardSetting(*values, error);
            }
            if (!m_setting) {
                m_refusal = error;
            }
        }
    }
    const uint64_t wantedId = m_setting ? m_setting->id : 0;
    if (m_card && (!m_setting || wantedId != m_cardId)) {
        dropCard(); // pulled out, or swapped: the slot is empty for a moment either way
    }
    if (m_coming && (!m_setting || wantedId != m_comingId)) {
        m_coming.reset(); // changed again before it went in
    }
    // The card the file names is made at once, so that a refusal shows at once, and goes
    // into the slot once the slot takes it.
    if (!m_card && !m_coming && m_setting && m_refusal.empty()) {
        std::string error;
        KeyValues options = m_setting->options;
        const auto slot = takeSlotOptions(options, error);
        m_coming = slot ? makeCard(m_setting->type, options, error) : nullptr;
        m_comingId = wantedId;
        m_comingSlot = slot.value_or(SlotOptions{});
        if (!m_coming) {
            m_refusal = error;
        }
    }
    if (m_coming && slotOpen()) {
        m_card = std::move(m_coming);
        m_cardId = m_comingId;
        m_cardType = m_setting->type;
        m_slotOptions = m_comingSlot;
        m_escapeFrames = 0;
        m_powered = false;
        publish();
    }
    if (m_shownStamp != m_cardStamp) {
        m_shownStamp = m_cardStamp;
        publish();
    }
}

void Reader::dropCard() {
    m_card.reset();
    m_cardId = 0;
    m_powered = false;
    m_emptyUntil = std::chrono::steady_clock::now() + kEmptySlotTime;
    m_absentAnswersOwed = kAbsentAnswers;
    publish();
}

bool Reader::slotOpen() const {
    return m_absentAnswersOwed == 0 && std::chrono::steady_clock::now() >= m_emptyUntil;
}

RESPONSECODE Reader::presence() {
    std::lock_guard lock(m_mutex);
    refreshDriver(); // pcscd polls all the time: the status shows a new personality soon
    refreshCard();
    // pcscd counts a removal only when its status poll sees the slot empty, and it asks for
    // presence elsewhere too (before it powers a card up or down) without counting anything.
    // A card swapped, or pulled and put back, before the status poll saw the slot empty would
    // never be seen as a new card: the slot stays empty longer than one status poll and for
    // two answers, of which one at most comes from the other questions between two polls.
    if (m_absentAnswersOwed > 0) {
        --m_absentAnswersOwed;
        return IFD_ICC_NOT_PRESENT;
    }
    return m_card ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE Reader::power(DWORD action, std::span<uint8_t> atr, DWORD& atrLength) {
    std::lock_guard lock(m_mutex);
    const std::size_t room = std::min<std::size_t>(atrLength, atr.size());
    atrLength = 0;
    refreshCard();
    switch (action) {
    case IFD_POWER_DOWN:
        if (m_card) {
            m_card->powerCycle();
        }
        m_powered = false;
        publish();
        return IFD_SUCCESS;
    case IFD_POWER_UP:
    case IFD_RESET: {
        if (!m_card) {
            return IFD_ERROR_POWER_ACTION;
        }
        const auto answer = m_card->atr();
        if (answer.size() > room || answer.size() > MAX_ATR_SIZE) {
            return IFD_ERROR_POWER_ACTION;
        }
        m_card->powerCycle();
        m_powered = true;
        std::copy(answer.begin(), answer.end(), atr.begin());
        atrLength = static_cast<DWORD>(answer.size());
        publish();
        return IFD_SUCCESS;
    }
    default:
        return IFD_NOT_SUPPORTED;
    }
}

RESPONSECODE Reader::setProtocol(DWORD protocol) {
    std::lock_guard lock(m_mutex);
    refreshCard();
    if (!m_card) {
        return IFD_COMMUNICATION_ERROR;
    }
    const bool single = protocol == SCARD_PROTOCOL_T0 || protocol == SCARD_PROTOCOL_T1;
    if (!single || (m_card->protocols() & protocol) == 0) {
        return IFD_PROTOCOL_NOT_SUPPORTED;
    }
    return IFD_SUCCESS;
}

RESPONSECODE Reader::transmit(std::span<const uint8_t> command, std::span<uint8_t> answer,
                              DWORD& received) {
    std::unique_lock lock(m_mutex);
    received = 0;
    if (command.empty() || command.size() > kMaxCommand) {
        return IFD_COMMUNICATION_ERROR;
    }
    refreshCard();
    if (!m_card) {
        return IFD_ICC_NOT_PRESENT;
    }
    if (!m_powered) {
        return IFD_COMMUNICATION_ERROR;
    }
    // Class FF belongs to the reader: it never reaches the card.
    if (command[0] == kReaderClass) {
        const Bytes reply = runReaderCommand(command, m_led);
        publish();
        return copyAnswer(reply, answer, received);
    }
    const RESPONSECODE rc = copyAnswer(m_card->transmit(command), answer, received);
    return answerInTime(lock, rc, received);
}

RESPONSECODE Reader::answerInTime(std::unique_lock<std::mutex>& lock, RESPONSECODE rc,
                                  DWORD& received) {
    if (!m_slotOptions.latency || m_slotOptions.latency->count() == 0) {
        return rc;
    }
    const auto latency = *m_slotOptions.latency;
    const uint64_t card = m_cardId;
    lock.unlock();
    std::this_thread::sleep_for(latency);
    lock.lock();
    refreshCard();
    if (!m_card || m_cardId != card) {
        received = 0;
        return IFD_ICC_NOT_PRESENT;
    }
    return rc;
}

RESPONSECODE Reader::control(DWORD code, std::span<const uint8_t> command,
                             std::span<uint8_t> answer, DWORD& received) {
    std::unique_lock lock(m_mutex);
    received = 0;
    refreshDriver();
    m_lastControl = code;
    bool toCard = false;
    const RESPONSECODE rc = command.size() > kMaxCommand
                                ? IFD_COMMUNICATION_ERROR
                                : runControl(code, command, answer, received, toCard);
    publish();
    return toCard ? answerInTime(lock, rc, received) : rc;
}

RESPONSECODE Reader::runControl(DWORD code, std::span<const uint8_t> command,
                                std::span<uint8_t> answer, DWORD& received, bool& toCard) {
    switch (routeControl(m_personality, code, command)) {
    case ControlRoute::Features:
        return copyAnswer(featureList(m_personality), answer, received);
    case ControlRoute::ReaderCommand:
        return copyAnswer(runReaderCommand(command, m_led), answer, received);
    case ControlRoute::MemoryCard:
        return escape(command, answer, received, toCard);
    case ControlRoute::Refused:
        return IFD_COMMUNICATION_ERROR;
    case ControlRoute::NotSupported:
        break;
    }
    return IFD_ERROR_NOT_SUPPORTED;
}

RESPONSECODE Reader::escape(std::span<const uint8_t> frame, std::span<uint8_t> answer,
                            DWORD& received, bool& toCard) {
    refreshCard();
    if (!m_card) {
        return IFD_ICC_NOT_PRESENT;
    }
    if (m_slotOptions.pullAfter && m_escapeFrames >= *m_slotOptions.pullAfter) {
        // The card slips out: the slot is empty from now on, for the tool too, and the card
        // lies beside the reader with what was written to it.
        CardSetting out{m_cardType, 0, m_card->contents()};
        if (m_slotOptions.latency) { // the card's own pace: it keeps it when put back
            out.options["latency"] = std::to_string(m_slotOptions.latency->count());
        }
        writeFileAtomically(m_folder / kCardOutFile, formatKeyValues(formatCardSetting(out)));
        std::error_code ec;
        std::filesystem::remove(m_folder / kCardFile, ec);
        m_cardStamp = stampOf(m_folder / kCardFile);
        m_shownStamp = m_cardStamp;
        m_setting.reset();
        m_refusal.clear();
        dropCard();
        return IFD_ICC_NOT_PRESENT;
    }
    ++m_escapeFrames;
    if (!m_powered) {
        return IFD_COMMUNICATION_ERROR;
    }
    toCard = true;
    const auto reply = m_card->escape(frame);
    if (!reply) {
        return IFD_COMMUNICATION_ERROR; // malformed, or a command the card does not know
    }
    return copyAnswer(*reply, answer, received);
}

RESPONSECODE Reader::capability(DWORD tag, std::span<uint8_t> value, DWORD& length) {
    std::lock_guard lock(m_mutex);
    length = 0;
    switch (tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING: {
        if (!m_card || !m_powered) {
            return IFD_SUCCESS; // no ATR while unpowered
        }
        return copyAnswer(Bytes(m_card->atr().begin(), m_card->atr().end()), value, length);
    }
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        return copyByte(PCSCLITE_MAX_READERS_CONTEXTS, value, length);
    case TAG_IFD_THREAD_SAFE:
        return copyByte(1, value, length);
    case TAG_IFD_SLOTS_NUMBER:
        return copyByte(1, value, length);
    case TAG_IFD_SLOT_THREAD_SAFE:
        return copyByte(0, value, length);
    case SCARD_ATTR_VENDOR_NAME:
        // The maker is the first word of the configured name, the model the rest.
        return copyText(std::string_view(m_name).substr(0, m_name.find(' ')), value, length);
    case SCARD_ATTR_VENDOR_IFD_TYPE: {
        const std::size_t space = m_name.find(' ');
        return copyText(space == std::string::npos ? m_name : m_name.substr(space + 1), value,
                        length);
    }
    default:
        return IFD_ERROR_TAG;
    }
}

KeyValues Reader::status() const {
    KeyValues status;
    status["card"] = m_card ? std::string(cardTypeName(m_cardType)) : "none";
    status["powered"] = onOff(m_powered);
    for (int led = 1; led <= 4; ++led) {
        status["led" + std::to_string(led)] = onOff(m_led.led(led));
    }
    status["blinking"] = onOff(m_led.blinking());
    status["buzzer"] = onOff(m_led.buzzer());
    status["tone"] = std::to_string(m_led.tone() + 1);
    status["on"] = std::to_string(m_led.onTime);
    status["off"] = std::to_string(m_led.offTime);
    status["repetitions"] = std::to_string(m_led.repetitions);
    if (m_card) {
        m_card->describe(status);
        if (m_slotOptions.latency) {
            status["card.latency"] = std::to_string(m_slotOptions.latency->count());
        }
    }
    if (!m_refusal.empty()) {
        status["refused"] = m_refusal;
    }
    status["driver"] = std::string(personalityName(m_personality));
    status["driverfile"] = formatStamp(m_driverStamp);
    if (!m_driverRefusal.empty()) {
        status["driver-refused"] = m_driverRefusal;
    }
    status["last-control"] = m_lastControl ? controlCodeText(*m_lastControl) : "none";
    status["cardfile"] = formatStamp(m_shownStamp);
    status["pid"] = std::to_string(m_host.pid);
    status["started"] = std::to_string(m_host.started);
    return status;
}

void Reader::publish() {
    std::string content = formatKeyValues(status());
    if (content != m_published && writeFileAtomically(m_folder / kStatusFile, content)) {
        m_published = std::move(content);
    }
}

} // namespace simreader
