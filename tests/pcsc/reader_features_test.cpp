// SPDX-License-Identifier: BSD-3-Clause
// The feature reply and the escape-code rule, over a scripted driver.
#include "reader_features.h"

#include "fake_pcsc.h"

#include <gtest/gtest.h>

#include <map>

using namespace pcscfeatures;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kReaderCommands = SCARD_CTL_CODE(3500);
const Bytes kPinProperties{0x12, 0x04, 0x42, 0x33, 0x00, 0x12};
const Bytes kLibccidEscape{0x13, 0x04, 0x42, 0x00, 0x00, 0x01};
const Bytes kVendorEscape{0x13, 0x04, 0x42, 0x00, 0x0D, 0xAC};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(FeatureReply, EscapeCodeOnlyFromAWholeWellFormedRecord) {
    const std::pair<Bytes, std::optional<DWORD>> cases[] = {
        {{}, std::nullopt},
        {kPinProperties, std::nullopt},
        {join({kPinProperties, kLibccidEscape}), 0x42000001},
        {kVendorEscape, 0x42000DAC},                          // big-endian
        {join({kLibccidEscape, {0x00}}), std::nullopt},       // not whole records: no reply at all
        {{0x13, 0x03, 0x42, 0x00, 0x00, 0x01}, std::nullopt}, // wrong length
        {{0x13, 0x04, 0x42, 0x00, 0x00}, std::nullopt},
    };
    for (const auto& [reply, code] : cases) {
        EXPECT_EQ(advertisedEscapeCode(reply), code) << reply.size();
    }
    EXPECT_EQ(describeFeatures(join({kPinProperties, kLibccidEscape})),
              "escape command 0x42000001, properties 0x42330012");
    EXPECT_EQ(describeFeatures({}), "no escape command, no other features");
}

// A driver answering each code as scripted; every call is kept.
struct Driver {
    std::map<DWORD, LONG> results; // codes not named: SCARD_E_UNSUPPORTED_FEATURE
    Bytes features;
    struct Call {
        DWORD code;
        Bytes input;
        DWORD room;
    };
    std::vector<Call> calls;

    LONG operator()(DWORD code, const uint8_t* input, DWORD inputLength, uint8_t* reply, DWORD room,
                    DWORD* returned) {
        calls.push_back({code, Bytes(input, input + inputLength), room});
        if (code == kFeatureRequestCode) {
            if (features.size() > room) {
                return SCARD_E_INSUFFICIENT_BUFFER;
            }
            std::copy(features.begin(), features.end(), reply);
            *returned = static_cast<DWORD>(features.size());
            return SCARD_S_SUCCESS;
        }
        const auto it = results.find(code);
        const LONG rv = it == results.end() ? SCARD_E_UNSUPPORTED_FEATURE : it->second;
        if (rv == SCARD_S_SUCCESS) {
            reply[0] = 0x90;
            reply[1] = 0x00;
            *returned = 2;
        }
        return rv;
    }
};

TEST(EscapeFallback, RetriesOnlyARefusedCodeAndOnlyWithAnotherAdvertisedOne) {
    struct Case {
        const char* what;
        std::map<DWORD, LONG> results;
        Bytes features;
        std::vector<DWORD> codes; // the calls made, in order
        LONG result;
        bool noEscape;
    };
    const DWORD ask = kFeatureRequestCode;
    const Case cases[] = {
        {"the design's code taken", {{kReaderCommands, 0}}, {}, {kReaderCommands}, 0, false},
        {"a failure after the reader may have run it",
         {{kReaderCommands, SCARD_E_NOT_TRANSACTED}},
         kLibccidEscape,
         {kReaderCommands},
         SCARD_E_NOT_TRANSACTED,
         false},
        {"escape advertised",
         {{0x42000001, 0}},
         join({kPinProperties, kLibccidEscape}),
         {kReaderCommands, ask, 0x42000001},
         0,
         false},
        {"escape advertised, and refusing",
         {{0x42000001, SCARD_E_NOT_TRANSACTED}},
         kLibccidEscape,
         {kReaderCommands, ask, 0x42000001},
         SCARD_E_NOT_TRANSACTED,
         false},
        {"no escape advertised",
         {},
         kPinProperties,
         {kReaderCommands, ask},
         SCARD_E_UNSUPPORTED_FEATURE,
         true},
        {"the code just refused advertised",
         {},
         kVendorEscape,
         {kReaderCommands, ask},
         SCARD_E_UNSUPPORTED_FEATURE,
         true},
        {"a reply of broken records",
         {{0x42000001, 0}},
         join({kLibccidEscape, {0x00}}),
         {kReaderCommands, ask},
         SCARD_E_UNSUPPORTED_FEATURE,
         true},
    };
    const Bytes command{0xFF, 0xE1, 0x02, 0x01, 0x0C};
    for (const Case& c : cases) {
        Driver driver{c.results, c.features, {}};
        std::array<uint8_t, 330> reply{};
        DWORD returned = 99;
        const auto outcome =
            controlWithEscapeFallback(driver, kReaderCommands, command, reply, returned);
        std::vector<DWORD> codes;
        for (const auto& call : driver.calls) {
            codes.push_back(call.code);
            if (call.code == ask) {
                EXPECT_GE(call.room, 256u) << c.what;
                EXPECT_TRUE(call.input.empty()) << c.what;
            } else {
                EXPECT_EQ(call.input, command) << c.what; // the same bytes again
            }
        }
        EXPECT_EQ(codes, c.codes) << c.what;
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(outcome.noEscape, c.noEscape) << c.what;
        EXPECT_EQ(returned, c.result == 0 ? 2u : 0u) << c.what;
    }
}

TEST(EscapeFallback, HintNamesTheCodeAndTheCure) {
    EXPECT_EQ(noEscapeHint(kReaderCommands),
              "This reader's driver does not take reader commands (SCARD_CTL_CODE(3500)) and "
              "offers no escape command. With the generic CCID driver, set ifdDriverOptions to "
              "0x0001 in /etc/libccid_Info.plist and restart pcscd.");
    EXPECT_NE(noEscapeHint(SCARD_CTL_CODE(2049)).find("memory-card frames (SCARD_CTL_CODE(2049))"),
              std::string::npos);
    // The window's logs do not wrap: no line longer than a row of sixteen data bytes.
    EXPECT_EQ(noEscapeHintLines(kReaderCommands),
              "This reader's driver does not take reader commands\n"
              "(SCARD_CTL_CODE(3500)) and offers no escape command.\n"
              "With the generic CCID driver, set ifdDriverOptions\n"
              "to 0x0001 in /etc/libccid_Info.plist and restart pcscd.");
}

TEST(AccessPolicy, ARefusalIsToldFromEveryOtherFailure) {
    struct Case {
        const char* function;
        LONG result;
        std::string reader;
        bool refused;
    };
    const Case cases[] = {
        {"SCardEstablishContext", SCARD_W_SECURITY_VIOLATION, "", true},
        {"SCardEstablishContext", SCARD_E_NO_SERVICE, "", false},
        {"SCardConnect", SCARD_W_SECURITY_VIOLATION, "KALDOR TR-100 00 00", true},
        {"SCardConnect", SCARD_W_SECURITY_VIOLATION, "", false}, // a context only
        {"SCardConnect", SCARD_E_SHARING_VIOLATION, "KALDOR TR-100 00 00", false},
    };
    for (const Case& c : cases) {
        fakepcsc::reset();
        fakepcsc::script().results[c.function] = c.result;
        EXPECT_EQ(refusedByAccessPolicy(c.reader), c.refused) << c.function << ' ' << c.reader;
        // Whatever the probe got, it let go of it.
        EXPECT_EQ(fakepcsc::callsOf("SCardEstablishContext").size(),
                  fakepcsc::callsOf("SCardReleaseContext").size() +
                      (c.function == std::string("SCardEstablishContext") ? 1 : 0));
    }
    fakepcsc::reset();
}

} // namespace
