// SPDX-License-Identifier: BSD-3-Clause
#include "reader_features.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>

namespace pcscfeatures {
namespace {

constexpr uint8_t kEscapeTag = FEATURE_CCID_ESC_COMMAND;

Feature recordAt(std::span<const uint8_t> reply, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<DWORD>(reply[at + i]); };
    return {reply[at], reply[at + 1], byte(2) << 24 | byte(3) << 16 | byte(4) << 8 | byte(5)};
}

std::string hex32(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

std::optional<std::vector<Feature>> parseFeatures(std::span<const uint8_t> reply) {
    if (reply.size() % kFeatureRecordSize != 0) {
        return std::nullopt;
    }
    std::vector<Feature> features;
    for (std::size_t at = 0; at < reply.size(); at += kFeatureRecordSize) {
        features.push_back(recordAt(reply, at));
    }
    return features;
}

std::optional<DWORD> advertisedEscapeCode(std::span<const uint8_t> reply) {
    if (reply.size() % kFeatureRecordSize != 0) {
        return std::nullopt;
    }
    for (std::size_t at = 0; at < reply.size(); at += kFeatureRecordSize) {
        const Feature feature = recordAt(reply, at);
        if (feature.tag == kEscapeTag && feature.length == 4) {
            return feature.code;
        }
    }
    return std::nullopt;
}

std::string featureName(uint8_t tag) {
    switch (tag) {
    case FEATURE_VERIFY_PIN_START:
        return "PIN verify start";
    case FEATURE_VERIFY_PIN_FINISH:
        return "PIN verify finish";
    case FEATURE_MODIFY_PIN_START:
        return "PIN modify start";
    case FEATURE_MODIFY_PIN_FINISH:
        return "PIN modify finish";
    case FEATURE_GET_KEY_PRESSED:
        return "key pressed";
    case FEATURE_VERIFY_PIN_DIRECT:
        return "PIN verify";
    case FEATURE_MODIFY_PIN_DIRECT:
        return "PIN modify";
    case FEATURE_MCT_READER_DIRECT:
        return "MCT reader direct";
    case FEATURE_MCT_UNIVERSAL:
        return "MCT universal";
    case FEATURE_IFD_PIN_PROPERTIES:
        return "PIN properties";
    case FEATURE_ABORT:
        return "abort";
    case FEATURE_SET_SPE_MESSAGE:
        return "PIN pad message";
    case FEATURE_VERIFY_PIN_DIRECT_APP_ID:
        return "PIN verify with application";
    case FEATURE_MODIFY_PIN_DIRECT_APP_ID:
        return "PIN modify with application";
    case FEATURE_WRITE_DISPLAY:
        return "display";
    case FEATURE_GET_KEY:
        return "key";
    case FEATURE_IFD_DISPLAY_PROPERTIES:
        return "display properties";
    case FEATURE_GET_TLV_PROPERTIES:
        return "properties";
    case FEATURE_CCID_ESC_COMMAND:
        return "escape command";
    case FEATURE_EXECUTE_PACE:
        return "PACE";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "feature 0x%02X", tag);
        return text;
    }
    }
}

std::string describeFeatures(std::span<const uint8_t> reply) {
    const auto features = parseFeatures(reply);
    if (!features) {
        return "a feature reply of " + std::to_string(reply.size()) +
               " bytes, not whole records of six";
    }
    const auto escape = advertisedEscapeCode(reply);
    std::string text = escape ? "escape command " + hex32(*escape) : "no escape command";
    for (const Feature& feature : *features) {
        if (feature.tag == kEscapeTag && feature.length == 4) {
            continue; // named first
        }
        text += ", " + featureName(feature.tag) + " " +
                (feature.length == 4 ? hex32(feature.code)
                                     : "(length " + std::to_string(feature.length) + ")");
    }
    return features->empty() ? text + ", no other features" : text;
}

std::string noEscapeHint(DWORD code) {
    const bool frames = code == kMemoryCardFrameCode;
    return std::string("This reader's driver does not take ") +
           (frames ? "memory-card frames" : "reader commands") + " (SCARD_CTL_CODE(" +
           std::to_string(code - SCARD_CTL_CODE(0)) +
           ")) and offers no escape command. With the generic CCID driver, set "
           "ifdDriverOptions to 0x0001 in /etc/libccid_Info.plist and restart pcscd.";
}

namespace {

// pcsc-lite's calls, bound by name from the library the access library binds too. Never
// closed, as the access library never closes it.
struct Service {
    decltype(&::SCardEstablishContext) establish = nullptr;
    decltype(&::SCardReleaseContext) release = nullptr;
    decltype(&::SCardConnect) connect = nullptr;
    decltype(&::SCardDisconnect) disconnect = nullptr;
    decltype(&::SCardControl) control = nullptr;
    bool bound() const { return establish && release && connect && disconnect && control; }
};

template <typename F>
void bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
}

Service bindService() {
    Service s;
    void* library = dlopen("libpcsclite.so.1", RTLD_NOW);
    if (library != nullptr) {
        bind(library, "SCardEstablishContext", s.establish);
        bind(library, "SCardReleaseContext", s.release);
        bind(library, "SCardConnect", s.connect);
        bind(library, "SCardDisconnect", s.disconnect);
        bind(library, "SCardControl", s.control);
    }
    return s;
}

// A context of its own, released at the end of the scope.
class Context {
public:
    explicit Context(const Service& service) : m_service(service) {
        m_result = service.establish(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
    }
    ~Context() {
        if (m_result == SCARD_S_SUCCESS) {
            m_service.release(m_context);
        }
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    LONG result() const { return m_result; }
    SCARDCONTEXT get() const { return m_context; }

private:
    const Service& m_service;
    SCARDCONTEXT m_context = 0;
    LONG m_result = SCARD_E_NO_SERVICE;
};

} // namespace

std::string noEscapeHintLines(DWORD code) {
    // Each sentence's clauses on lines of their own, no longer than a data row.
    std::string text = noEscapeHint(code);
    for (const char* before : {" (SCARD_CTL_CODE(", " With the generic", " to 0x0001"}) {
        const std::size_t at = text.find(before);
        if (at != std::string::npos) {
            text[at] = '\n';
        }
    }
    return text;
}

bool refusedByAccessPolicy(const std::string& reader) {
    const Service service = bindService();
    if (!service.bound()) {
        return false;
    }
    const Context context(service);
    if (context.result() != SCARD_S_SUCCESS || reader.empty()) {
        return context.result() == SCARD_W_SECURITY_VIOLATION;
    }
    // Direct mode powers nothing and shares the reader: the probe disturbs no card.
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG rv =
        service.connect(context.get(), reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
    if (rv == SCARD_S_SUCCESS) {
        service.disconnect(card, SCARD_LEAVE_CARD);
    }
    return rv == SCARD_W_SECURITY_VIOLATION;
}

FeatureQuery queryReaderFeatures(const std::string& reader) {
    FeatureQuery query;
    const Service service = bindService();
    if (!service.bound()) {
        query.result = SCARD_E_NO_SERVICE;
        return query;
    }
    const Context context(service);
    if (context.result() != SCARD_S_SUCCESS) {
        query.result = context.result();
        return query;
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    query.result =
        service.connect(context.get(), reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
    if (query.result != SCARD_S_SUCCESS) {
        return query;
    }
    std::array<uint8_t, kFeatureReplyRoom> reply{};
    DWORD got = 0;
    query.result = service.control(card, kFeatureRequestCode, nullptr, 0, reply.data(),
                                   static_cast<DWORD>(reply.size()), &got);
    if (query.result == SCARD_S_SUCCESS) {
        query.reply.assign(
            reply.begin(),
            reply.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(got, reply.size())));
    }
    service.disconnect(card, SCARD_LEAVE_CARD);
    return query;
}

std::string accessPolicyText() {
    return "the PC/SC service refused this session by its access policy (polkit, "
           "SCARD_W_SECURITY_VIOLATION " +
           hex32(static_cast<DWORD>(static_cast<uint32_t>(SCARD_W_SECURITY_VIOLATION))) +
           "): run the program in the local, active session, or have the administrator allow "
           "it with a polkit rule for pcscd's access_pcsc and access_card actions";
}

} // namespace pcscfeatures
