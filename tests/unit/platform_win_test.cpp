#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gnugettext.h"
#include "scripted_msgbox.h"
#include "windows.h"

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the same thread may enter again
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] { otherGotIn = TryEnterCriticalSection(&cs) != FALSE; });
  other.join();
  EXPECT_FALSE(otherGotIn);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  std::thread again([&] {
    otherGotIn = TryEnterCriticalSection(&cs) != FALSE;
    if (otherGotIn) LeaveCriticalSection(&cs);
  });
  again.join();
  EXPECT_TRUE(otherGotIn);
  DeleteCriticalSection(&cs);
}

TEST(Interlocked, CountsExactlyUnderContention) {
  LONG volatile value = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        InterlockedIncrement(&value);
        InterlockedIncrement(&value);
        InterlockedDecrement(&value);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(value, 80000);
  EXPECT_EQ(InterlockedIncrement(&value), 80001);
  EXPECT_EQ(InterlockedDecrement(&value), 80000);
}

TEST(MessageBox, ScriptedHandlerRecordsAndAnswers) {
  ScriptedMessageBoxes boxes({IDYES});
  EXPECT_EQ(MessageBoxA(nullptr, "Work offline?", "Pernix", MB_ICONQUESTION | MB_YESNO), IDYES);
  // With the script used up, a question gets the safe default.
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Pernix", MB_ICONQUESTION | MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Failed", "Pernix", MB_ICONERROR | MB_OK), IDOK);
  const auto recorded = boxes.Boxes();
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0].text, "Work offline?");
  EXPECT_EQ(recorded[0].caption, "Pernix");
  EXPECT_EQ(recorded[0].type, MB_ICONQUESTION | MB_YESNO);
  EXPECT_EQ(recorded[2].type, MB_ICONERROR | MB_OK);
}

TEST(MessageBox, HandlerIsRestoredAndNullTextsAreEmpty) {
  {
    ScriptedMessageBoxes outer({IDYES});
    {
      ScriptedMessageBoxes inner({IDNO});
      EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_YESNO), IDNO);
      EXPECT_EQ(inner.Boxes().at(0).text, "");
    }
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNO), IDYES);
    EXPECT_EQ(outer.Boxes().size(), 1u);
  }
  EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(DefaultMessageBoxAnswer(MB_OK | MB_ICONERROR), IDOK);
}

struct UpperCase {
  const char* input;
  const char* expected;
};

void PrintTo(const UpperCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class CharUpperBuff : public ::testing::TestWithParam<UpperCase> {};

TEST_P(CharUpperBuff, FoldsPerCharacterKeepingLength) {
  std::string text = GetParam().input;
  const std::size_t length = text.size();
  EXPECT_EQ(CharUpperBuffA(text.data(), static_cast<DWORD>(text.size())), length);
  EXPECT_EQ(text, GetParam().expected);
  EXPECT_EQ(text.size(), length);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CharUpperBuff,
    ::testing::Values(UpperCase{"john smith", "JOHN SMITH"}, UpperCase{"müller", "MÜLLER"},
                      UpperCase{"élise ñandú", "ÉLISE ÑANDÚ"}, UpperCase{"ωμέγα", "ΩΜΈΓΑ"},
                      // dotless i upper-cases to a one-byte I: the length would change, so it stays
                      UpperCase{"ı", "ı"},
                      // bytes that are no UTF-8 stay as they are; the text around them is folded
                      UpperCase{"a\xE9z", "A\xE9Z"}, UpperCase{"", ""}));

TEST(CharUpperBuffA, StopsAtTheGivenLength) {
  char text[] = "abcdef";
  CharUpperBuffA(text, 3);
  EXPECT_STREQ(text, "ABCdef");
  EXPECT_EQ(CharUpperBuffA(nullptr, 3), 0u);
}

TEST(CompareStringA, IgnoresCaseOnlyWhenAsked) {
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "müller", -1, "MÜLLER", -1), CSTR_EQUAL);
  EXPECT_NE(CompareStringA(LOCALE_USER_DEFAULT, 0, "müller", -1, "MÜLLER", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "abc", -1, "ABD", -1), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "b", -1, "A", -1), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "smithers", 5, "SMITH", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "", 0, "", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, nullptr, -1, "a", -1), 0);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "a", -2, "a", -1), 0);
}

TEST(IsBadReadPtr, TellsReadableFromUnreadableMemory) {
  const long page = sysconf(_SC_PAGESIZE);
  void* mapping = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  auto* bytes = static_cast<unsigned char*>(mapping);
  ASSERT_EQ(mprotect(bytes + page, page, PROT_NONE), 0);

  EXPECT_FALSE(IsBadReadPtr(bytes, page));
  EXPECT_FALSE(IsBadReadPtr(bytes + page - 1, 1));
  EXPECT_TRUE(IsBadReadPtr(bytes + page - 1, 2));  // runs into the protected page
  EXPECT_TRUE(IsBadReadPtr(bytes + page, 1));
  EXPECT_TRUE(IsBadReadPtr(bytes, 2 * page));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  EXPECT_FALSE(IsBadReadPtr(nullptr, 0));
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<void*>(~std::uintptr_t{0} - 4), 16));  // wraps around
  munmap(mapping, 2 * page);
  EXPECT_TRUE(IsBadReadPtr(bytes, 1));  // gone altogether
}

TEST(Translate, UnknownTextComesBackUnchanged) {
  const char* text = "A text no catalogue has";
  EXPECT_STREQ(Translate(text), text);
  EXPECT_STREQ(Translate(""), "");
  EXPECT_EQ(Translate(nullptr), nullptr);
}

TEST(Translate, UsesTheCatalogueOfTheUsersLanguage) {
  // The catalogues are built into the build tree; LANGUAGE picks German.
  setenv("LANGUAGE", "de", 1);
  SetTranslationDirectory(PX_BINARY_DIR "/locale");
  EXPECT_STREQ(Translate("LDAP search failed. Error Code 0x%X"), "LDAP-Suche fehlgeschlagen. Fehlercode 0x%X");
  unsetenv("LANGUAGE");
}
