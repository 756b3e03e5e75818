// The catalogues as peldor-scan prints them.

#include "plugins/catalogue_format.h"

#include <gtest/gtest.h>

namespace peldor::test {
namespace {

TEST(CatalogueFormatTest, JsonStringsAreAlwaysValid) {
    EXPECT_EQ(JsonString("Kars"), "\"Kars\"");
    EXPECT_EQ(JsonString("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(JsonString("tab\there\n"), "\"tab\\u0009here\\u000a\"");
    EXPECT_EQ(JsonString("Gr\xC3\xBC\xC3\x9F"), "\"Gr\xC3\xBC\xC3\x9F\""); // valid UTF-8
    EXPECT_EQ(JsonString("bad\xFF\xC3"), "\"bad\\ufffd\\ufffd\"");         // invalid bytes
    EXPECT_EQ(JsonString("\xE0\x80\xAF"), "\"\\ufffd\\ufffd\\ufffd\"");    // overlong
}

TEST(CatalogueFormatTest, LinesAndJsonCarryEveryField) {
    PlgListRecord shell{"Shell \"A\"", "/vst/Bundle.so", "FX", 1, 7, 0, 0, 1};
    EXPECT_EQ(FormatCatalogueLine("effect", 3, shell),
              "effect 3 PluginName=\"Shell \\\"A\\\"\" LibraryFile=\"/vst/Bundle.so\" "
              "SubFolder=\"FX\" IsShell=1 ShellID=7 Inputs=0 Outputs=0 ProgramChunks=1");

    PlgListRecord kars{"Kars", "/usr/lib/vst/Kars-vst.so", "", 0, -1, 0, 1, 0};
    EXPECT_EQ(CataloguesJson({kars}, {shell}),
              "[\n"
              "  {\"catalogue\": \"instrument\", \"index\": 0, \"PluginName\": \"Kars\", "
              "\"LibraryFile\": \"/usr/lib/vst/Kars-vst.so\", \"SubFolder\": \"\", \"IsShell\": 0, "
              "\"ShellID\": -1, \"Inputs\": 0, \"Outputs\": 1, \"ProgramChunks\": 0},\n"
              "  {\"catalogue\": \"effect\", \"index\": 0, \"PluginName\": \"Shell \\\"A\\\"\", "
              "\"LibraryFile\": \"/vst/Bundle.so\", \"SubFolder\": \"FX\", \"IsShell\": 1, "
              "\"ShellID\": 7, \"Inputs\": 0, \"Outputs\": 0, \"ProgramChunks\": 1}\n"
              "]\n");
    EXPECT_EQ(CataloguesJson({}, {}), "[]\n");
}

} // namespace
} // namespace peldor::test
