// The machine description file (format in simdrive/SimMachineFile.h).
#include "simdrive/SimMachineFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "platform/Host.h"
#include "words/Words.h"

namespace sim {

namespace {

using words::Token;
using words::Tokenize;

// Decimal, or hexadecimal after "0x"; at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t first = hex ? 2 : 0;
    if (text.size() == first) return false;
    value = 0;
    for (size_t i = first; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = value * (hex ? 16 : 10) + digit;
        if (value > max) return false;
    }
    return true;
}

// Everything one line says, taken apart; the parser fills a Description and
// builds the machine only when every line was sound.
struct DriveLine {
    std::optional<char> Letter;
    uint8_t Adapter = 0, Target = 0;
    DriveConfig Config;
};

// A disc for the drive at a place: loaded, or queued to drop in when the
// tray opens.
struct DiscLine {
    int Number = 0;  // line of the description, for errors found later
    std::optional<char> Letter;
    uint8_t Adapter = 0, Target = 0;
    bool Queued = false;
    DiscSetup Setup;
};

struct LetterLine {
    std::optional<unsigned> Type;
    bool OpenFails = false;
};

struct Description {
    bool NtFamily = true;
    std::optional<uint32_t> Major, Minor, Build;
    std::string ServicePack;
    std::optional<uint8_t> ProductType;
    std::optional<uint16_t> SuiteMask;
    bool PlainFails = false, ExtendedFails = false;
    std::optional<uint16_t> Language;
    bool Administrator = true;
    bool RestartAccepted = true;
    std::vector<SimProcess> Processes;
    AspiLibraryConfig Aspi;
    std::map<char, LetterLine> Letters;
    std::vector<DriveLine> Drives;
    std::vector<DiscLine> Discs;
    std::map<std::string, std::map<std::string, std::string>> Registry;
    std::optional<std::string> StatePath;
    std::optional<std::string> CommandLine;
    bool UiAuto = true;
    bool VirtualClock = true;
    std::optional<std::string> UiScript;
    bool ClockGiven = false;  // else the clock follows the ui setting
};

// Reads one line's words in order; every reader returns false with `Why` set.
class LineReader {
public:
    explicit LineReader(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    bool AtEnd() const { return next_ >= tokens_.size(); }
    const std::string& Keyword() const { return tokens_[0].Text; }

    bool Word(std::string& word, const char* what) {
        if (AtEnd()) return Fail(std::string("missing ") + what);
        word = tokens_[next_++].Text;
        return true;
    }
    bool Number(uint64_t max, uint64_t& value, const char* what) {
        std::string word;
        if (!Word(word, what)) return false;
        if (!ParseNumber(word, max, value))
            return Fail(std::string(what) + " \"" + word + "\" is not a number from 0 to " + std::to_string(max));
        return true;
    }
    template <typename T>
    bool Number(T& value, const char* what) {
        uint64_t v = 0;
        if (!Number(static_cast<uint64_t>(std::numeric_limits<T>::max()), v, what)) return false;
        value = static_cast<T>(v);
        return true;
    }
    // One of the given words; its index in `choices`.
    bool Choice(std::initializer_list<const char*> choices, size_t& index, const char* what) {
        std::string word;
        if (!Word(word, what)) return false;
        index = 0;
        for (const char* choice : choices) {
            if (word == choice) return true;
            ++index;
        }
        std::string list;
        for (const char* choice : choices) list += std::string(list.empty() ? "" : "|") + choice;
        return Fail(std::string(what) + " must be " + list + ", not \"" + word + "\"");
    }
    bool Letter(char& letter) {
        std::string word;
        return Word(word, "drive letter") && LetterOf(word, letter);
    }
    bool LetterOf(const std::string& word, char& letter) {
        const char c = word.size() == 2 && word[1] == ':'
                           ? static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])))
                           : 0;
        if (c < 'a' || c > 'z') return Fail("\"" + word + "\" is not a drive letter such as d:");
        letter = c;
        return true;
    }
    bool End() { return AtEnd() || Fail("unexpected \"" + tokens_[next_].Text + "\""); }
    bool Fail(const std::string& why) {
        Why = why;
        return false;
    }

    std::string Why;

private:
    std::vector<Token> tokens_;
    size_t next_ = 1;  // past the keyword
};

bool ReadVersion(LineReader& r, Description& d) {
    uint32_t major = 0, minor = 0, build = 0;
    if (!r.Number(major, "major version") || !r.Number(minor, "minor version") ||
        !r.Number(build, "build number") || !r.Word(d.ServicePack, "service pack text"))
        return false;
    d.Major = major;
    d.Minor = minor;
    d.Build = build;
    while (!r.AtEnd()) {
        size_t option = 0;
        if (!r.Choice({"product", "suite", "plain-fails", "extended-fails"}, option, "version option"))
            return false;
        if (option == 0) {
            uint8_t product = 0;
            if (!r.Number(product, "product type")) return false;
            d.ProductType = product;
        } else if (option == 1) {
            uint16_t suite = 0;
            if (!r.Number(suite, "suite mask")) return false;
            d.SuiteMask = suite;
        } else if (option == 2) {
            d.PlainFails = true;
        } else {
            d.ExtendedFails = true;
        }
    }
    return true;
}

bool ReadAspi(LineReader& r, Description& d) {
    size_t present = 0;
    if (!r.Choice({"present", "missing"}, present, "ASPI library")) return false;
    d.Aspi.Present = present == 0;
    while (!r.AtEnd()) {
        size_t option = 0;
        if (!r.Choice({"no-send", "no-info", "support", "adapters", "never-completes"}, option,
                      "ASPI option"))
            return false;
        if (option == 0) {
            d.Aspi.HasSendEntry = false;
        } else if (option == 1) {
            d.Aspi.HasSupportEntry = false;
        } else if (option == 2) {
            uint32_t word = 0;
            if (!r.Number(word, "support word")) return false;
            d.Aspi.SupportWord = word;
        } else if (option == 3) {
            if (!r.Number(d.Aspi.HostAdapters, "host adapter count")) return false;
        } else {
            d.Aspi.NeverCompletes = true;
        }
    }
    return true;
}

bool ReadLetter(LineReader& r, Description& d) {
    char letter = 0;
    if (!r.Letter(letter)) return false;
    if (d.Letters.count(letter) != 0) return r.Fail(std::string("letter ") + letter + ": is given twice");
    LetterLine line;
    while (!r.AtEnd()) {
        size_t option = 0;
        if (!r.Choice({"type", "open-fails"}, option, "letter option")) return false;
        if (option == 0) {
            unsigned type = 0;
            if (!r.Number(type, "drive type")) return false;
            line.Type = type;
        } else {
            line.OpenFails = true;
        }
    }
    if (!line.Type && !line.OpenFails) return r.Fail("nothing set for the letter (type <n> or open-fails)");
    d.Letters[letter] = line;
    return true;
}

// A drive's place: a letter such as d:, or aspi <adapter> <target>.
template <typename Line>
bool ReadPlace(LineReader& r, Line& line) {
    std::string place;
    if (!r.Word(place, "drive place (a letter such as d: or aspi <adapter> <target>)")) return false;
    if (place == "aspi") return r.Number(line.Adapter, "host adapter") && r.Number(line.Target, "target");
    char letter = 0;
    if (!r.LetterOf(place, letter)) return r.Fail(r.Why + " (nor aspi <adapter> <target>)");
    line.Letter = letter;
    return true;
}

template <typename A, typename B>
bool SamePlace(const A& a, const B& b) {
    return a.Letter == b.Letter && (a.Letter || (a.Adapter == b.Adapter && a.Target == b.Target));
}

// The optional features as hexadecimal codes in one text: "1F 20 2D".
bool ReadFeatures(LineReader& r, std::vector<uint16_t>& features) {
    std::string text;
    if (!r.Word(text, "feature list")) return false;
    features.clear();
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        uint64_t code = 0;
        if (!ParseNumber("0x" + word, 0xFFFF, code))
            return r.Fail("feature \"" + word + "\" is not a hexadecimal feature code");
        features.push_back(static_cast<uint16_t>(code));
    }
    return true;
}

bool ReadDisc(LineReader& r, Description& d, int number) {
    DiscLine disc;
    disc.Number = number;
    if (!ReadPlace(r, disc)) return false;
    std::string model;
    if (!r.Word(model, "disc model")) return false;
    if (model == "queued") {
        disc.Queued = true;
        if (!r.Word(model, "disc model")) return false;
    }
    const std::optional<DiscModel> known = DiscModelFromName(model);
    if (!known) {
        std::string names;
        for (DiscModel m : AllDiscModels()) names += std::string(names.empty() ? "" : "|") + DiscModelName(m);
        return r.Fail("disc model must be " + names + ", not \"" + model + "\"");
    }
    disc.Setup.Model = *known;
    while (!r.AtEnd()) {
        size_t key = 0;
        if (!r.Choice({"blank", "incomplete", "finalized", "tracks", "mid", "revision", "pwp", "cwp", "capacity"}, key,
                      "disc setting"))
            return false;
        DiscSetup& setup = disc.Setup;
        bool ok = true;
        switch (key) {
            case 0: setup.Status = DiscState::Blank; break;
            case 1: setup.Status = DiscState::Incomplete; break;
            case 2: setup.Status = DiscState::Finalized; break;
            case 3: {
                uint8_t tracks = 0;
                ok = r.Number(tracks, "track count");
                setup.Tracks = tracks;
                break;
            }
            case 4: {
                std::string id;
                ok = r.Word(id, "media identifier text");
                setup.MediaId = id;
                break;
            }
            case 5: ok = r.Number(setup.MediaRevision, "media revision byte"); break;
            case 6: setup.WriteProtection |= kProtectPersistent; break;
            case 7: setup.WriteProtection |= kProtectCartridge; break;
            default: {
                uint32_t capacity = 0;
                ok = r.Number(capacity, "capacity in blocks");
                setup.Capacity = capacity;
                break;
            }
        }
        if (!ok) return false;
    }
    d.Discs.push_back(std::move(disc));
    return true;
}

bool ReadDrive(LineReader& r, Description& d) {
    DriveLine drive;
    if (!ReadPlace(r, drive)) return false;
    for (const DriveLine& other : d.Drives) {
        if (!SamePlace(other, drive)) continue;
        return r.Fail(drive.Letter ? std::string("a drive at ") + *drive.Letter + ": is given twice"
                                   : "a drive at aspi " + std::to_string(drive.Adapter) + " " +
                                         std::to_string(drive.Target) + " is given twice");
    }
    DriveConfig& c = drive.Config;
    while (!r.AtEnd()) {
        size_t key = 0;
        if (!r.Choice({"vendor", "product", "revision", "code", "fc", "byte0", "disc", "nodrivecode",
                       "refuseflash", "becoming-ready", "features", "ff09"},
                      key, "drive setting"))
            return false;
        bool ok = true;
        switch (key) {
            case 0: ok = r.Word(c.Vendor, "vendor text"); break;
            case 1: ok = r.Word(c.Product, "product text"); break;
            case 2: ok = r.Word(c.Revision, "revision text"); break;
            case 3: ok = r.Word(c.Code, "drive code text"); break;
            case 4: ok = r.Number(c.FcCode[0], "FC code byte") && r.Number(c.FcCode[1], "FC code byte"); break;
            case 5: ok = r.Number(c.PeripheralByte, "INQUIRY byte 0"); break;
            case 6: c.DiscLoaded = true; break;
            case 7: c.AnswersDriveCodeQuery = false; break;
            case 8: c.RefusesFlashCommand = true; break;
            case 9: ok = r.Number(c.BecomingReadyMs, "becoming-ready time"); break;
            case 10: ok = ReadFeatures(r, c.Features); break;
            default: {
                uint16_t word = 0;
                ok = r.Number(word, "FF 09 reply word");
                c.VendorQueryWord = word;
                break;
            }
        }
        if (!ok) return false;
    }
    d.Drives.push_back(std::move(drive));
    return true;
}

// Settings that choose between two words, and settings that take one text.
struct Switch {
    const char* Keyword;
    const char* Yes;
    const char* No;
    bool Description::*Field;
};
constexpr Switch kSwitches[] = {
    {"platform", "nt", "9x", &Description::NtFamily},
    {"admin", "yes", "no", &Description::Administrator},
    {"restart", "accept", "refuse", &Description::RestartAccepted},
    {"clock", "virtual", "real", &Description::VirtualClock},
};

struct TextSetting {
    const char* Keyword;
    const char* What;
    std::optional<std::string> Description::*Field;
};
constexpr TextSetting kTextSettings[] = {
    {"state", "state file path", &Description::StatePath},
    {"commandline", "command line text", &Description::CommandLine},
};

// ui auto|interactive|script "<file>": a script is followed headless.
bool ReadUi(LineReader& r, Description& d) {
    size_t choice = 0;
    if (!r.Choice({"auto", "interactive", "script"}, choice, "ui")) return false;
    d.UiAuto = choice != 1;
    if (choice == 2) {
        std::string path;
        if (!r.Word(path, "script path")) return false;
        d.UiScript = path;
    }
    return r.End();
}

bool ReadProcess(LineReader& r, Description& d) {
    SimProcess p;
    if (!r.Number(p.ProcessId, "process id") || !r.Word(p.ExeFile, "executable name")) return false;
    for (const SimProcess& other : d.Processes)
        if (other.ProcessId == p.ProcessId)
            return r.Fail("process id " + std::to_string(p.ProcessId) + " is given twice");
    if (!r.AtEnd()) {
        size_t option = 0;
        if (!r.Choice({"locked"}, option, "process option")) return false;
        p.CanOpen = false;
    }
    d.Processes.push_back(p);
    return true;
}

// One line into the description.  `seen` holds the keywords that may appear
// once only.
bool ReadLine(LineReader& r, Description& d, std::set<std::string>& seen, int number) {
    const std::string keyword = r.Keyword();
    static const std::set<std::string> once = {"platform", "version", "language", "admin",
                                               "restart",  "aspi",    "state",    "commandline",
                                               "ui",       "clock"};
    if (once.count(keyword) != 0 && !seen.insert(keyword).second)
        return r.Fail("\"" + keyword + "\" is given twice");
    for (const Switch& s : kSwitches) {
        if (keyword != s.Keyword) continue;
        size_t choice = 0;
        if (!r.Choice({s.Yes, s.No}, choice, s.Keyword)) return false;
        d.*s.Field = choice == 0;
        if (keyword == "clock") d.ClockGiven = true;
        return r.End();
    }
    for (const TextSetting& t : kTextSettings) {
        if (keyword != t.Keyword) continue;
        std::string text;
        if (!r.Word(text, t.What)) return false;
        d.*t.Field = text;
        return r.End();
    }
    bool ok = true;
    if (keyword == "ui") {
        return ReadUi(r, d);
    } else if (keyword == "version") {
        ok = ReadVersion(r, d);
    } else if (keyword == "language") {
        uint16_t id = 0;
        ok = r.Number(id, "language id");
        if (ok) d.Language = id;
    } else if (keyword == "process") {
        ok = ReadProcess(r, d);
    } else if (keyword == "aspi") {
        ok = ReadAspi(r, d);
    } else if (keyword == "letter") {
        ok = ReadLetter(r, d);
    } else if (keyword == "drive") {
        ok = ReadDrive(r, d);
    } else if (keyword == "disc") {
        ok = ReadDisc(r, d, number);
    } else if (keyword == "registry") {
        std::string key, name, value;
        ok = r.Word(key, "registry key") && r.Word(name, "value name") && r.Word(value, "value text");
        // Stored as the registry keeps a text value: with its terminating NUL.
        if (ok) d.Registry[key][name] = value + '\0';
    } else {
        return r.Fail("unknown setting \"" + keyword + "\"");
    }
    return ok && r.End();
}

std::unique_ptr<SimMachine> Build(const Description& d) {
    auto machine = std::make_unique<SimMachine>();
    if (d.NtFamily)
        machine->SetNtFamily(d.Major.value_or(5), d.Minor.value_or(1), d.Build.value_or(2600),
                             d.Major ? d.ServicePack : "Service Pack 2");
    else
        machine->Set9xFamily(d.Major.value_or(4), d.Minor.value_or(10), d.Build.value_or(2222),
                             d.Major ? d.ServicePack : " A ");
    if (d.ProductType) machine->VersionRecord().ProductType = *d.ProductType;
    if (d.SuiteMask) machine->VersionRecord().SuiteMask = *d.SuiteMask;
    machine->PlainQueryFails = d.PlainFails;
    machine->ExtendedQueryFails = d.ExtendedFails;
    if (d.Language) machine->LanguageId = *d.Language;
    machine->Administrator = d.Administrator;
    machine->RestartAccepted = d.RestartAccepted;
    machine->Processes = d.Processes;
    machine->Aspi = d.Aspi;
    machine->Registry = d.Registry;
    machine->UiAuto = d.UiAuto;
    // A person at the windows needs the real clock: on the virtual one an idle
    // program's timers would move it on as fast as the loop can run.
    machine->RealClock = d.ClockGiven ? !d.VirtualClock : !d.UiAuto;
    machine->CommandLine =
        d.CommandLine ? *d.CommandLine : platform::host::HostCommandLine().GetCommandLine();
    for (const auto& [letter, line] : d.Letters) {
        if (line.Type) machine->SetLetterType(letter, *line.Type);
        machine->SetLetterOpenFails(letter, line.OpenFails);
    }
    for (const DriveLine& drive : d.Drives) {
        SimDrive& attached = drive.Letter ? machine->AttachDriveAtLetter(*drive.Letter, drive.Config)
                                          : machine->AttachDriveAtAspi(drive.Adapter, drive.Target, drive.Config);
        for (const DiscLine& disc : d.Discs) {
            if (!SamePlace(disc, drive)) continue;
            if (disc.Queued)
                attached.QueueDisc(MakeDisc(disc.Setup));
            else
                attached.LoadDisc(MakeDisc(disc.Setup));
        }
    }
    return machine;
}

}  // namespace

std::unique_ptr<SimMachine> ParseSimMachine(const std::string& text, const std::string& sourceName,
                                            const std::string& baseDirectory, std::string& error) {
    Description description;
    std::set<std::string> seen;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<Token> tokens;
        std::string why;
        if (!Tokenize(line, tokens, why)) {
            error = sourceName + ":" + std::to_string(number) + ": " + why;
            return nullptr;
        }
        if (tokens.empty()) continue;
        if (tokens[0].Quoted) {
            error = sourceName + ":" + std::to_string(number) + ": a line must start with a setting name";
            return nullptr;
        }
        LineReader reader(std::move(tokens));
        if (!ReadLine(reader, description, seen, number)) {
            error = sourceName + ":" + std::to_string(number) + ": " + reader.Why;
            return nullptr;
        }
    }

    // Every disc goes into a described drive, at most one loaded per drive.
    for (size_t i = 0; i < description.Discs.size(); ++i) {
        const DiscLine& disc = description.Discs[i];
        const auto here = [&](const auto& other) { return SamePlace(other, disc); };
        std::string why;
        if (std::none_of(description.Drives.begin(), description.Drives.end(), here))
            why = "no drive is described at the disc's place";
        else if (!disc.Queued && std::any_of(description.Discs.begin(), description.Discs.begin() + static_cast<long>(i),
                                             [&](const DiscLine& other) { return !other.Queued && here(other); }))
            why = "a second disc loaded into the same drive (queue it with \"queued\")";
        if (!why.empty()) {
            error = sourceName + ":" + std::to_string(disc.Number) + ": " + why;
            return nullptr;
        }
    }

    std::unique_ptr<SimMachine> machine = Build(description);
    if (description.UiScript) {
        std::filesystem::path script(*description.UiScript);
        if (script.is_relative()) script = std::filesystem::path(baseDirectory) / script;
        machine->UiScript = script.string();
    }
    if (description.StatePath) {
        std::filesystem::path state(*description.StatePath);
        if (state.is_relative()) state = std::filesystem::path(baseDirectory) / state;
        if (!machine->UseStateFile(state.string(), error)) return nullptr;
    }
    return machine;
}

std::unique_ptr<SimMachine> LoadSimMachine(const std::string& path, std::string& error) {
    std::error_code ignored;
    std::ifstream file(path, std::ios::binary);
    if (std::filesystem::is_directory(path, ignored) || !file) {
        error = "cannot open the machine description " + path;
        return nullptr;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = "cannot read the machine description " + path;
        return nullptr;
    }
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return ParseSimMachine(text.str(), path, directory.empty() ? "." : directory, error);
}

}  // namespace sim
