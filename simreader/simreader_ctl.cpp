// SPDX-License-Identifier: BSD-3-Clause
// simreader-ctl: puts simulated cards into the simulated readers and takes them out again,
// sets the driver personality each reader answers control codes with, shows what each
// reader holds and shows, and lays out the readers for a private pcscd.
#include "cards.h"
#include "driver_personality.h"
#include "layout_entry.h"
#include "state_files.h"
#include "tessary_version.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace simreader;

namespace {

constexpr const char* kUsageLine = "Usage: simreader-ctl [--dir DIR] COMMAND [ARGUMENTS]\n";
constexpr const char* kHelp =
    "Puts simulated cards into the simulated readers of a private pcscd and takes them out\n"
    "again, sets the driver each reader imitates, shows what each reader holds and shows,\n"
    "and lays out the readers.\n"
    "\n"
    "Commands:\n"
    "  insert READER CARD-TYPE [SETTING=VALUE ...]  put a card into READER\n"
    "  remove READER                                 take the card out of READER\n"
    "  reinsert READER                               put back the card that slipped out\n"
    "  driver READER PERSONALITY                     make READER imitate another driver\n"
    "  status                                        each reader, its card, driver, LEDs and\n"
    "                                                buzzer\n"
    "  setup DRIVER [READER=[CARD-TYPE][@PERSONALITY][ SETTING=VALUE ...] ...]\n"
    "                                                lay out readers for a private pcscd\n"
    "  dir                                           print the folder in use\n"
    "\n"
    "Options:\n"
    "  --dir DIR   the simulated readers' folder (default: SIM_PCSCD_DIR, or\n"
    "              $TMPDIR/tessary-sim-UID)\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "READER is a reader's configured name, e.g. \"KALDOR TR-100\".\n"
    "Memory cards take memory=<hex> (contents from address 0, the rest FF),\n"
    "protection=<hex> (a bit per protectable address from 0, 1 writable, the rest\n"
    "writable), and the SLE4442 and SLE4428 psc=<hex> and counter=<n>. Any card takes\n"
    "pull-after=<frames> to slip out of the reader after that many escape frames, and\n"
    "latency=<ms> (0 to 60000) to take that long over each command or escape frame, as a\n"
    "real card does; status shows it as latency=.\n"
    "Memory cards answer reset in the long form (atr=long, the default) or the short one\n"
    "(atr=short).\n"
    "\n"
    "A reader's PERSONALITY decides which control codes it serves, changeable while pcscd\n"
    "runs (from the next control call on):\n"
    "  native       reader commands on SCARD_CTL_CODE(3500), memory-card escape frames on\n"
    "               SCARD_CTL_CODE(2049), no feature list (the default)\n"
    "  ccid         a generic CCID driver with its escape off: a feature list on\n"
    "               SCARD_CTL_CODE(3400), SCARD_CTL_CODE(1) fails every exchange\n"
    "  ccid-escape  the same with its escape on: reader commands and escape frames alike\n"
    "               on SCARD_CTL_CODE(1)\n"
    "  vendor       reader commands and escape frames alike on SCARD_CTL_CODE(3500),\n"
    "               which its feature list names\n"
    "status shows it as driver=, and the last control code the reader was sent as\n"
    "last-control= (none before the first).\n"
    "Without a pcscd serving the readers, status, the card commands and driver exit with 2.\n"
    "\n"
    "Examples:\n"
    "  simreader-ctl insert \"Generic Reader\" sle4442 psc=123456 memory=A2131091\n"
    "  simreader-ctl insert \"Generic Reader\" sle4428 atr=short\n"
    "  simreader-ctl insert \"KALDOR TR-100\" apdu latency=20\n"
    "  simreader-ctl driver \"Generic Reader\" ccid-escape\n"
    "\n"
    "Card types: ";

// Readers are capped by what pcscd serves.
constexpr std::size_t kMaxReaders = 16;
constexpr std::size_t kMaxNameLength = 200;

fs::path defaultFolder() {
    if (const char* dir = std::getenv("SIM_PCSCD_DIR"); dir && *dir) {
        return dir;
    }
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp && *tmp ? tmp : "/tmp") / ("tessary-sim-" + std::to_string(::getuid()));
}

int fail(const std::string& message) {
    std::cerr << "simreader-ctl: " << message << '\n';
    return 1;
}

// What the driver of the reader in `folder` shows; nothing before the driver has run.
std::optional<KeyValues> shownBy(const fs::path& folder) {
    std::string error;
    const auto text = readSmallFile(folder / kStatusFile);
    return text ? parseKeyValues(*text, error) : std::nullopt;
}

// The process the driver last ran in is still the one running under its pid. A daemon that
// was killed leaves its readers' files behind, showing what they held then.
bool driverRunning(const std::optional<KeyValues>& shown) {
    if (!shown || !shown->contains("pid") || !shown->contains("started")) {
        return false;
    }
    ProcessIdentity named;
    const std::string& pid = shown->at("pid");
    const std::string& started = shown->at("started");
    auto [pidEnd, pidError] = std::from_chars(pid.data(), pid.data() + pid.size(), named.pid);
    auto [startEnd, startError] =
        std::from_chars(started.data(), started.data() + started.size(), named.started);
    if (pidError != std::errc{} || startError != std::errc{} || pidEnd != pid.data() + pid.size() ||
        startEnd != started.data() + started.size()) {
        return false;
    }
    return runningProcess(named.pid) == named;
}

int notRunning(const fs::path& base) {
    std::cerr << "simreader-ctl: no pcscd serves the simulated readers under " << base.string()
              << "; is pcscd running? (scripts/sim-pcscd start)\n";
    return 2;
}

struct ReaderFolder {
    std::string name;
    fs::path folder;
};

// The readers laid out under `base`, in their configured order.
std::vector<ReaderFolder> listReaders(const fs::path& base) {
    std::vector<std::pair<unsigned long, ReaderFolder>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(base / "readers", ec)) {
        const std::string index = entry.path().filename().string();
        if (index.empty() || !std::all_of(index.begin(), index.end(), ::isdigit)) {
            continue;
        }
        auto name = readSmallFile(entry.path() / kNameFile);
        if (!name) {
            continue;
        }
        while (!name->empty() && (name->back() == '\n' || name->back() == '\r')) {
            name->pop_back();
        }
        found.push_back({std::stoul(index), {*name, entry.path()}});
    }
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<ReaderFolder> readers;
    for (auto& [index, reader] : found) {
        readers.push_back(std::move(reader));
    }
    return readers;
}

std::optional<ReaderFolder> findReader(const fs::path& base, const std::string& name,
                                       std::string& error) {
    const auto readers = listReaders(base);
    for (const auto& reader : readers) {
        if (reader.name == name) {
            return reader;
        }
    }
    if (readers.empty()) {
        error = "no simulated readers under " + base.string() + " (start them with sim-pcscd)";
    } else {
        error = "no reader named \"" + name + "\"; readers:";
        for (const auto& reader : readers) {
            error += " \"" + reader.name + "\"";
        }
    }
    return std::nullopt;
}

uint64_t newCardId() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

// Checks the card type and settings the way the driver will, so mistakes show here.
std::optional<CardSetting> cardFromArgs(const std::string& typeName,
                                        const std::vector<std::string>& settings,
                                        std::string& error) {
    const auto type = parseCardType(typeName);
    if (!type) {
        error = "unknown card type '" + typeName + "'; card types: " + cardTypeNames();
        return std::nullopt;
    }
    CardSetting card{*type, newCardId(), {}};
    for (const auto& setting : settings) {
        const auto eq = setting.find('=');
        if (eq == 0 || eq == std::string::npos || setting.find('\n') != std::string::npos) {
            error = "setting '" + setting + "' is not SETTING=VALUE";
            return std::nullopt;
        }
        card.options[setting.substr(0, eq)] = setting.substr(eq + 1);
    }
    KeyValues cardOptions = card.options;
    if (!takeSlotOptions(cardOptions, error) || !makeCard(card.type, cardOptions, error)) {
        return std::nullopt;
    }
    return card;
}

bool insertCard(const fs::path& folder, const CardSetting& card) {
    return writeFileAtomically(folder / kCardFile, formatKeyValues(formatCardSetting(card)));
}

int insertCommand(const fs::path& base, const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return fail("insert needs READER and CARD-TYPE");
    }
    std::string error;
    const auto reader = findReader(base, args[0], error);
    if (!reader) {
        return fail(error);
    }
    if (!driverRunning(shownBy(reader->folder))) {
        return notRunning(base);
    }
    const auto card = cardFromArgs(args[1], {args.begin() + 2, args.end()}, error);
    if (!card) {
        return fail(error);
    }
    if (!insertCard(reader->folder, *card)) {
        return fail("cannot write " + (reader->folder / kCardFile).string());
    }
    return 0;
}

int removeCommand(const fs::path& base, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return fail("remove needs READER");
    }
    std::string error;
    const auto reader = findReader(base, args[0], error);
    if (!reader) {
        return fail(error);
    }
    if (!driverRunning(shownBy(reader->folder))) {
        return notRunning(base);
    }
    std::error_code ec;
    fs::remove(reader->folder / kCardFile, ec);
    if (ec) {
        return fail("cannot remove " + (reader->folder / kCardFile).string() + ": " + ec.message());
    }
    return 0;
}

int reinsertCommand(const fs::path& base, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return fail("reinsert needs READER");
    }
    std::string error;
    const auto reader = findReader(base, args[0], error);
    if (!reader) {
        return fail(error);
    }
    if (!driverRunning(shownBy(reader->folder))) {
        return notRunning(base);
    }
    const auto text = readSmallFile(reader->folder / kCardOutFile);
    const auto values = text ? parseKeyValues(*text, error) : std::nullopt;
    auto card = values ? parseCardSetting(*values, error) : std::nullopt;
    if (!card) {
        return fail("no card slipped out of \"" + args[0] + "\"");
    }
    card->id = newCardId();
    if (!insertCard(reader->folder, *card)) {
        return fail("cannot write " + (reader->folder / kCardFile).string());
    }
    std::error_code ec;
    fs::remove(reader->folder / kCardOutFile, ec);
    return 0;
}

bool setPersonality(const fs::path& folder, Personality personality) {
    return writeFileAtomically(folder / kDriverFile, formatDriverFile(personality));
}

std::optional<Personality> personalityFromArg(const std::string& name, std::string& error) {
    const auto personality = parsePersonality(name);
    if (!personality) {
        error = "unknown personality '" + name + "'; personalities: " + personalityNames();
    }
    return personality;
}

int driverCommand(const fs::path& base, const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return fail("driver needs READER and PERSONALITY (" + personalityNames() + ")");
    }
    std::string error;
    const auto personality = personalityFromArg(args[1], error);
    if (!personality) {
        return fail(error);
    }
    const auto reader = findReader(base, args[0], error);
    if (!reader) {
        return fail(error);
    }
    if (!driverRunning(shownBy(reader->folder))) {
        return notRunning(base);
    }
    if (!setPersonality(reader->folder, *personality)) {
        return fail("cannot write " + (reader->folder / kDriverFile).string());
    }
    return 0;
}

std::string onOff(const KeyValues& values, const char* key) {
    const auto it = values.find(key);
    return it != values.end() && it->second == "1" ? "on" : "off";
}

std::string valueOf(const KeyValues& values, const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? "?" : it->second;
}

// The card the card file asks for: its type, "none" or "unreadable".
std::string wantedCard(const fs::path& folder) {
    const auto text = readSmallFile(folder / kCardFile);
    if (!text) {
        std::error_code ec;
        return fs::exists(folder / kCardFile, ec) ? "unreadable" : "none";
    }
    std::string error;
    const auto values = parseKeyValues(*text, error);
    const auto setting = values ? parseCardSetting(*values, error) : std::nullopt;
    return setting ? std::string(cardTypeName(setting->type)) : "unreadable";
}

// The personality the driver file asks for: native without one, "unreadable" when it
// names none.
std::string wantedPersonality(const fs::path& folder) {
    std::error_code ec;
    if (!fs::exists(folder / kDriverFile, ec)) {
        return std::string(personalityName(Personality::Native));
    }
    const auto text = readSmallFile(folder / kDriverFile);
    std::string error;
    const auto personality = text ? parseDriverFile(*text, error) : std::nullopt;
    return personality ? std::string(personalityName(*personality)) : "unreadable";
}

// Each reader as its driver holds it. A card file the driver has not acted on yet shows
// as pending, without the power and details of the card it replaces; one the driver could
// make no card of shows as refused, with the reason on the next line. The driver file
// likewise: pending until the driver reads it, refused when it names no personality.
int statusCommand(const fs::path& base) {
    const auto readers = listReaders(base);
    if (readers.empty()) {
        return fail("no simulated readers under " + base.string());
    }
    std::ostringstream out;
    bool anyRunning = false;
    for (const auto& reader : readers) {
        const std::string wanted = wantedCard(reader.folder);
        const auto shown = shownBy(reader.folder);
        if (!driverRunning(shown)) {
            out << reader.name << ": card=" << wanted << " reader=not-running\n";
            continue;
        }
        anyRunning = true;
        const auto& s = *shown;
        const bool pending =
            valueOf(s, "cardfile") != formatStamp(stampOf(reader.folder / kCardFile));
        const bool refused = !pending && s.contains("refused");
        out << reader.name << ": card=" << (pending ? wanted : valueOf(s, "card"));
        if (pending) {
            out << " pending=yes";
        } else if (refused) {
            out << " refused=" << wanted;
        }
        if (!pending) {
            out << " powered=" << (valueOf(s, "powered") == "1" ? "yes" : "no");
            // Card details the driver reports (memory cards: counter, verification).
            for (const auto& [key, value] : s) {
                if (key.starts_with("card.")) {
                    out << ' ' << key.substr(5) << '=' << value;
                }
            }
        }
        const bool driverPending =
            valueOf(s, "driverfile") != formatStamp(stampOf(reader.folder / kDriverFile));
        const bool driverRefused = !driverPending && s.contains("driver-refused");
        out << " driver="
            << (driverPending ? wantedPersonality(reader.folder) : valueOf(s, "driver"));
        if (driverPending) {
            out << " driver-pending=yes";
        } else if (driverRefused) {
            out << " driver-refused=yes";
        }
        out << " last-control=" << valueOf(s, "last-control");
        out << " blue=" << onOff(s, "led1") << " yellow=" << onOff(s, "led2")
            << " green=" << onOff(s, "led3") << " red=" << onOff(s, "led4")
            << " mode=" << (valueOf(s, "blinking") == "1" ? "blinking" : "steady")
            << " buzzer=" << onOff(s, "buzzer") << " tone=" << valueOf(s, "tone")
            << " on=" << valueOf(s, "on") << " off=" << valueOf(s, "off")
            << " repetitions=" << valueOf(s, "repetitions") << '\n';
        if (refused) {
            out << "  refused: " << valueOf(s, "refused") << '\n';
        }
        if (driverRefused) {
            out << "  driver refused: " << valueOf(s, "driver-refused") << '\n';
        }
    }
    if (!anyRunning) {
        return notRunning(base);
    }
    std::cout << out.str();
    return 0;
}

bool validName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength &&
           std::none_of(name.begin(), name.end(), [](char c) {
               return c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
           });
}

int setupCommand(const fs::path& base, const std::vector<std::string>& args) {
    if (args.empty()) {
        return fail("setup needs the driver's path");
    }
    std::error_code ec;
    const fs::path driver = fs::absolute(args[0], ec);
    if (ec || !fs::is_regular_file(driver)) {
        return fail("no driver at " + args[0]);
    }
    const fs::path folder = fs::absolute(base, ec);
    // reader.conf takes DEVICENAME and LIBPATH as single words.
    for (const auto& path : {folder.string(), driver.string()}) {
        if (std::any_of(path.begin(), path.end(),
                        [](char c) { return std::isspace(c) || c == '"'; })) {
            return fail("path '" + path + "' must not contain blanks or quotes");
        }
    }
    std::vector<std::string> entries(args.begin() + 1, args.end());
    if (entries.size() > kMaxReaders) {
        return fail("at most " + std::to_string(kMaxReaders) + " readers");
    }
    struct Layout {
        std::string name;
        std::optional<CardSetting> card;
        std::optional<Personality> personality;
    };
    std::vector<Layout> readers;
    for (const auto& text : entries) {
        const LayoutEntry entry = splitLayoutEntry(text);
        const std::string& name = entry.name;
        if (!validName(name)) {
            return fail("reader name '" + name + "' must be 1 to " +
                        std::to_string(kMaxNameLength) + " characters without quotes");
        }
        // CARD-TYPE, @PERSONALITY, both or neither.
        std::string cardType = entry.layout;
        std::optional<Personality> personality;
        std::string error;
        if (const auto at = cardType.find('@'); at != std::string::npos) {
            personality = personalityFromArg(cardType.substr(at + 1), error);
            if (!personality) {
                return fail("reader \"" + name + "\": " + error);
            }
            cardType.erase(at);
        }
        if (cardType.empty() && !entry.settings.empty()) {
            return fail("reader \"" + name + "\": settings need a card type");
        }
        std::optional<CardSetting> card;
        if (!cardType.empty()) {
            card = cardFromArgs(cardType, entry.settings, error);
            if (!card) {
                return fail("reader \"" + name + "\": " + error);
            }
        }
        readers.push_back({name, card, personality});
    }
    fs::remove_all(folder / "readers", ec);
    fs::remove_all(folder / "conf", ec);
    fs::create_directories(folder / "conf", ec);
    if (ec) {
        return fail("cannot create " + (folder / "conf").string() + ": " + ec.message());
    }
    std::string conf;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        const fs::path readerFolder = folder / "readers" / std::to_string(i);
        fs::create_directories(readerFolder, ec);
        const Layout& reader = readers[i];
        if (ec || !writeFileAtomically(readerFolder / kNameFile, reader.name + "\n") ||
            (reader.card && !insertCard(readerFolder, *reader.card)) ||
            (reader.personality && !setPersonality(readerFolder, *reader.personality))) {
            return fail("cannot write the reader folder " + readerFolder.string());
        }
        conf += "FRIENDLYNAME \"" + reader.name + "\"\nDEVICENAME sim:" + readerFolder.string() +
                "\nLIBPATH " + driver.string() + "\n\n";
    }
    if (!writeFileAtomically(folder / "conf" / "reader.conf", conf)) {
        return fail("cannot write " + (folder / "conf" / "reader.conf").string());
    }
    return 0;
}

int usageError(const std::string& message) {
    std::cerr << "simreader-ctl: " << message << '\n'
              << kUsageLine << "Try 'simreader-ctl --help' for more.\n";
    return 2;
}

// Reads the options before the command; returns -1 to go on, otherwise the exit status.
int readOptions(int argc, char** argv, fs::path& base) {
    static const option kOptions[] = {{"dir", required_argument, nullptr, 'd'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    opterr = 0; // our own messages
    // "+": options end at the command, whose arguments are its own.
    for (int c; (c = getopt_long(argc, argv, "+:h", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'd':
            base = optarg;
            break;
        case 'h':
            std::cout << kUsageLine << kHelp << cardTypeNames()
                      << "\nPersonalities: " << personalityNames() << '\n';
            return 0;
        case 'V':
            std::cout << "simreader-ctl (Tessary) " << TESSARY_VERSION << '\n';
            return 0;
        case ':':
            return usageError(std::string("missing value for '") + argv[optind - 1] + "'");
        default:
            // A short option inside a cluster leaves optind where it was.
            return usageError("unknown option '" +
                              (optopt ? std::string{'-', static_cast<char>(optopt)}
                                      : std::string(argv[optind - 1])) +
                              "'");
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    fs::path base = defaultFolder();
    if (const int status = readOptions(argc, argv, base); status >= 0) {
        return status;
    }
    std::vector<std::string> args(argv + optind, argv + argc);
    if (args.empty()) {
        return usageError("a COMMAND is needed");
    }
    const std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "insert") {
            return insertCommand(base, args);
        }
        if (command == "remove") {
            return removeCommand(base, args);
        }
        if (command == "reinsert") {
            return reinsertCommand(base, args);
        }
        if (command == "driver") {
            return driverCommand(base, args);
        }
        if (command == "status") {
            return statusCommand(base);
        }
        if (command == "setup") {
            return setupCommand(base, args);
        }
        if (command == "dir") {
            std::cout << base.string() << '\n';
            return 0;
        }
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return usageError("unknown command '" + command + "'");
}
