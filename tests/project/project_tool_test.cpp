// peldor-project, run as users run it.

#include "project/atomic_file.h"
#include "tests/project/project_samples.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <variant>

namespace peldor {
namespace {

// ---- A small JSON reader, strict enough to prove the output is JSON -------------------------

struct Json;
using JsonObject = std::map<std::string, Json>;
using JsonArray = std::vector<Json>;
struct Json {
    std::variant<std::nullptr_t, double, std::string, JsonArray, JsonObject> value;
    const Json& operator[](const std::string& key) const {
        static const Json missing;
        const auto* object = std::get_if<JsonObject>(&value);
        if (object == nullptr || object->count(key) == 0) {
            ADD_FAILURE() << "no key " << key;
            return missing;
        }
        return object->at(key);
    }
    const Json& operator[](std::size_t index) const {
        static const Json missing;
        const auto* array = std::get_if<JsonArray>(&value);
        if (array == nullptr || index >= array->size()) {
            ADD_FAILURE() << "no element " << index;
            return missing;
        }
        return (*array)[index];
    }
    std::size_t Size() const {
        if (const auto* array = std::get_if<JsonArray>(&value)) {
            return array->size();
        }
        if (const auto* object = std::get_if<JsonObject>(&value)) {
            return object->size();
        }
        return 0;
    }
    double Number() const {
        const auto* number = std::get_if<double>(&value);
        EXPECT_NE(number, nullptr);
        return number != nullptr ? *number : 0.0;
    }
    std::string Text() const {
        const auto* text = std::get_if<std::string>(&value);
        EXPECT_NE(text, nullptr);
        return text != nullptr ? *text : std::string();
    }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : s(text) {}
    bool Parse(Json& out) {
        if (!Value(out)) {
            return false;
        }
        Space();
        return i == s.size();
    }

private:
    void Space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\t' || s[i] == '\r')) {
            ++i;
        }
    }
    bool Value(Json& out) {
        Space();
        if (i >= s.size()) {
            return false;
        }
        if (s[i] == '{') {
            ++i;
            JsonObject object;
            Space();
            if (i < s.size() && s[i] == '}') {
                ++i;
                out.value = std::move(object);
                return true;
            }
            for (;;) {
                Space();
                std::string key;
                if (!String(key)) {
                    return false;
                }
                Space();
                if (i >= s.size() || s[i++] != ':') {
                    return false;
                }
                Json member;
                if (!Value(member) || object.count(key) != 0) {
                    return false;
                }
                object[key] = std::move(member);
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == '}') {
                    ++i;
                    out.value = std::move(object);
                    return true;
                }
                return false;
            }
        }
        if (s[i] == '[') {
            ++i;
            JsonArray array;
            Space();
            if (i < s.size() && s[i] == ']') {
                ++i;
                out.value = std::move(array);
                return true;
            }
            for (;;) {
                Json element;
                if (!Value(element)) {
                    return false;
                }
                array.push_back(std::move(element));
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ']') {
                    ++i;
                    out.value = std::move(array);
                    return true;
                }
                return false;
            }
        }
        if (s[i] == '"') {
            std::string text;
            if (!String(text)) {
                return false;
            }
            out.value = std::move(text);
            return true;
        }
        const std::size_t start = i;
        if (s[i] == '-') {
            ++i;
        }
        while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                                s[i] == 'e' || s[i] == 'E' || s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (i == start) {
            return false;
        }
        out.value = std::strtod(s.substr(start, i - start).c_str(), nullptr);
        return true;
    }
    bool String(std::string& out) {
        if (i >= s.size() || s[i] != '"') {
            return false;
        }
        ++i;
        while (i < s.size() && s[i] != '"') {
            if (static_cast<unsigned char>(s[i]) < 0x20) {
                return false;
            }
            if (s[i] == '\\') {
                if (i + 1 >= s.size()) {
                    return false;
                }
                const char e = s[i + 1];
                if (e == 'u') {
                    if (i + 6 > s.size()) {
                        return false;
                    }
                    out += static_cast<char>(std::stoi(s.substr(i + 2, 4), nullptr, 16));
                    i += 6;
                    continue;
                }
                out += e;
                i += 2;
                continue;
            }
            out += s[i++];
        }
        if (i >= s.size()) {
            return false;
        }
        ++i;
        return true;
    }

    const std::string& s;
    std::size_t i = 0;
};

// ---- Running the tool -----------------------------------------------------------------------

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ToolRun RunTool(const test::TempDir& dir, const std::string& arguments) {
    const char* binaryDir = std::getenv("PELDOR_BINARY_DIR");
    const std::string tool =
        std::string(binaryDir != nullptr ? binaryDir : ".") + "/tools/peldor-project";
    const std::string command = "'" + tool + "' " + arguments + " > '" +
                                (dir / "out.txt").string() + "' 2> '" + (dir / "err.txt").string() +
                                "'";
    ToolRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(dir / "out.txt");
    run.err = ReadText(dir / "err.txt");
    return run;
}

void Write(const std::filesystem::path& path, const TByteBuffer& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

TEST(ProjectTool, DumpPrintsEveryFieldAsJson) {
    test::TempDir dir;
    const TProjectFileImage image = test::RichImage();
    Write(dir / "show.pdp", test::FileBytes(image));
    const ToolRun run = RunTool(dir, "dump " + Quoted(dir / "show.pdp"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Json json;
    ASSERT_TRUE(JsonParser(run.out).Parse(json)) << run.out.substr(0, 400);

    EXPECT_EQ(json["DeviceSelection"]["Inputs"].Size(), 16u);
    EXPECT_EQ(json["DeviceSelection"]["Inputs"][15].Number(), 1);
    EXPECT_EQ(json["DeviceSelection"]["Outputs"][3].Number(), 1);
    // Strips in table-index order, whatever the order in the file.
    ASSERT_EQ(json["StripDescriptors"].Size(), 96u);
    EXPECT_EQ(json["StripDescriptors"][88]["LongName"].Text(), "Main out");
    EXPECT_EQ(json["StripDescriptors"][89]["LongName"].Text(), "Monitor mix 1");
    EXPECT_EQ(json["StripDescriptors"][95]["ShortName"].Text(), "PFL");
    EXPECT_EQ(json["StripDescriptors"][5]["Code6"].Number(), 9);
    EXPECT_EQ(json["MixerSettings"].Size(), 19u);
    EXPECT_EQ(json["MixerSettings"]["osclevel"].Number(), 0.5);
    EXPECT_EQ(json["MixerSettings"]["addmode"].Number(), 1);
    EXPECT_EQ(json["Name"].Text(), "Tour 2024");
    EXPECT_EQ(json["Author"].Text(), "K. M\xC3\xBCller");
    EXPECT_EQ(json["Created"].Number(), 45123.75);
    EXPECT_EQ(json["FileName"].Text(), "/home/k/shows/tour.pdp");

    ASSERT_EQ(json["Songs"].Size(), 2u);
    const Json& song = json["Songs"][0];
    EXPECT_EQ(song["Tempo"].Number(), 132.5);
    ASSERT_EQ(song["Parts"].Size(), 3u);
    const Json& part = song["Parts"][2];
    ASSERT_EQ(part["Connections"].Size(), 3u);
    const Json& connection = part["Connections"][0];
    EXPECT_EQ(connection.Size(), 29u) << "every stored connection field";
    const TConnection& c = *image.Project->SongAt(0)->PartAt(2)->ConnectionAt(0);
    EXPECT_EQ(connection["Name"].Text(), c.Name);
    EXPECT_EQ(connection["Transpose"].Number(), c.Transpose);
    EXPECT_EQ(connection["OutPort"].Number(), c.OutPort);
    EXPECT_EQ(connection["Position"].Number(), c.Position);
    EXPECT_EQ(connection["BankLoEnabled"].Number(), 1);
    ASSERT_EQ(part["Strips"].Size(), 96u);
    EXPECT_EQ(part["Strips"][kMasterStrip]["Reverb"].Number(),
              (*image.Project->SongAt(0)->PartAt(2)->Strips)[kMasterStrip].Reverb);
    EXPECT_EQ(part["Strips"][7]["AuxSend"].Size(), 4u);
    EXPECT_NEAR(part["Strips"][7]["AuxSend"][1].Number(), 0.2, 1e-7);
    ASSERT_EQ(part["SlotStates"].Size(), 20u);
    const TPluginSettings& withState = image.Project->SongAt(0)->PartAt(2)->SlotStates[1];
    EXPECT_EQ(part["SlotStates"][1]["StateSize"].Number(), withState.StateSize);
    EXPECT_EQ(part["SlotStates"][1]["StateData"].Text().size(), 2 * withState.StateData.size());
    EXPECT_EQ(part["SlotStates"][1]["StateData"].Text().substr(0, 4), "0126");
    EXPECT_EQ(part["SlotStates"][2]["StateData"].Text(), "");
    EXPECT_EQ(part["SlotStates"][2]["StateSize"].Number(), 12);
    ASSERT_EQ(song["SlotSettings"].Size(), 20u);
    EXPECT_EQ(song["SlotSettings"][19]["EditorTop"].Number(), -95);

    EXPECT_EQ(json["CurrentPart"].Number(), 1);
    EXPECT_EQ(json["ConnectionCounter"].Number(), 56);
    const Json& options = json["Options"];
    EXPECT_EQ(options["UserFilter1"][2].Number(), -2);
    EXPECT_EQ(options["RemoteCommands"].Size(), 5u);
    EXPECT_EQ(options["RemoteCommands"][4]["Hotkey"].Number(), -32768 + 27)
        << "hotkeys are the file's signed 16-bit numbers";
    EXPECT_EQ(options["RemoteCommands"][0]["Pattern"][1].Number(), 0x13C);
    EXPECT_EQ(options["DecimalSeparator"].Number(), ',');
    EXPECT_EQ(static_cast<float>(options["Epsilon"].Number()), 1e-20f);
    ASSERT_EQ(json["WindowLayout"].Size(), 12u);
    EXPECT_EQ(json["WindowLayout"][0]["Width"].Number(), 800);
    EXPECT_EQ(json["WindowLayout"][1].Size(), 1u) << "an absent window has only Exists";
    EXPECT_EQ(json["WindowLayout"][5]["Left"].Number(), -30);
}

TEST(ProjectTool, CheckAndCopy) {
    test::TempDir dir;
    const TByteBuffer bytes = test::FileBytes(test::RichImage());
    Write(dir / "show.pdp", bytes);
    ToolRun run = RunTool(dir, "check " + Quoted(dir / "show.pdp"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "ok\n");

    run = RunTool(dir, "copy " + Quoted(dir / "show.pdp") + " " + Quoted(dir / "copy.pdp"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    TByteBuffer copied;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(dir / "copy.pdp", copied, error));
    EXPECT_EQ(copied, bytes) << "a file written by the program copies byte for byte";

    TByteBuffer damaged = bytes;
    damaged.resize(1000);
    Write(dir / "damaged.pdp", damaged);
    for (const char* command : {"check ", "dump "}) {
        run = RunTool(dir, command + Quoted(dir / "damaged.pdp"));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("damaged.pdp"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("byte offset"), std::string::npos) << run.err;
    }
    run = RunTool(dir, "copy " + Quoted(dir / "damaged.pdp") + " " + Quoted(dir / "out.pdp"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pdp"));
    run = RunTool(dir, "check");
    EXPECT_EQ(run.exitCode, 1);
}

} // namespace
} // namespace peldor
