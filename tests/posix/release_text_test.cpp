// The texts of the player package, made by the scripts the release runs: plain ASCII for
// Notepad, and the notices of every library linked into main.dll with their licence texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Output(const std::string& script) {
  std::string out;
  FILE* pipe = popen((std::string(KVR_SOURCE_DIR) + "/scripts/" + script).c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "";
}

// The first thing that would not show as plain text in Notepad, or empty.
std::string NotAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c > 0x7F) return "a byte above 127";
  return {};
}

// The first Markdown mark left in a text written for players, or empty. (Licence texts are
// copied as their authors wrote them, ``AS IS'' included, so they are not held to this.)
std::string MarkdownLeft(const std::string& text) {
  for (const char* mark : {"`", "**", "\n#", "](http"})
    if (text.find(mark) != std::string::npos) return std::string("the Markdown mark ") + mark;
  return {};
}

TEST(ReleaseTexts, TheReadmeIsPlainText) {
  const std::string readme = Output("player-readme.sh 1.0.1");
  ASSERT_FALSE(readme.empty());
  EXPECT_EQ(NotAscii(readme), "");
  EXPECT_EQ(MarkdownLeft(readme), "");
  EXPECT_EQ(readme.rfind("KorvathPalimarNeuralNav 1.0.1 - ", 0), 0u);
  EXPECT_NE(readme.find("game's UE4SS Mods folder as KorvathPalimarNeuralNav/dlls/main.dll"),
            std::string::npos);
  EXPECT_NE(readme.find("\r\n"), std::string::npos);
}

TEST(ReleaseTexts, NoticesCarryEveryLinkedLicence) {
  const std::string notices = Output("third-party-notices.sh");
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(NotAscii(notices), "");
  for (const char* part :
       {"Dear ImGui", "Copyright (c) 2014-2024 Omar Cornut", "The MIT License (MIT)",
        "Recast & Detour", "Copyright (c) 2009 Mikko Mononen",
        "This notice may not be removed or altered from any source distribution.",
        "MinGW-w64 winpthreads", "Copyright (c) 2011-2016 mingw-w64 project",
        "included in all copies or substantial portions of the Software.", "MinGW-w64 runtime",
        "Redistributions in binary form must reproduce the accompanying",
        "GCC Runtime Library Exception"})
    EXPECT_NE(notices.find(part), std::string::npos) << part;
}

}  // namespace
