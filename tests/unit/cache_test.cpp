#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "directory/ldapcon.h"
#include "scripted_msgbox.h"
#include "tempdir.h"

namespace {
LDAPItem MakeItem(const std::string& tag) {
  LDAPItem item;
  std::size_t n = 0;
  for (std::string* field : item.Fields()) *field = tag + "-" + LDAPItem::kFieldNames[n++];
  return item;
}

// Cache-file bytes laid out by hand, as any writer of the format produces them.
struct Bytes {
  std::string data;
  Bytes& Word(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data += static_cast<char>(value >> (8 * i));
    return *this;
  }
  Bytes& Header(std::uint32_t count) { return Word(0xBABE0001).Word(1).Word(count); }
  Bytes& Record(const LDAPItem& item) {
    Word(0xBABE0002);
    for (const std::string* field : item.Fields()) Word(static_cast<std::uint32_t>(field->size())).data += *field;
    return *this;
  }
  Bytes& Raw(const std::string& bytes) {
    data += bytes;
    return *this;
  }
};

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class CacheFile : public testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path path = dir / "directory.pxb";
  ScriptedMessageBoxes boxes;
  LDAPListManager manager;

  void SetUp() override { manager.CacheFileName = path.string(); }
  std::vector<LDAPItem> RoundTrip(const std::vector<LDAPItem>& items) {
    manager.Items = items;
    EXPECT_TRUE(manager.SaveCache());
    manager.Items.clear();
    EXPECT_TRUE(manager.LoadCache());
    return manager.Items;
  }
};
}  // namespace

TEST_F(CacheFile, WritesTheLayoutByteForByte) {
  LDAPItem empty;
  LDAPItem full = MakeItem("a");
  full.Title = "";
  manager.Items = {full, empty};
  ASSERT_TRUE(manager.SaveCache());
  EXPECT_EQ(ReadAll(path), Bytes().Header(2).Record(full).Record(empty).data);
  EXPECT_EQ(Bytes().Record(empty).data.size(), 48u);

  manager.Items.clear();
  ASSERT_TRUE(manager.SaveCache());
  EXPECT_EQ(ReadAll(path), Bytes().Header(0).data);
  EXPECT_TRUE(manager.LoadCache());
  EXPECT_EQ(manager.Count(), 0u);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CacheFile, RoundTripKeepsEveryTextAndTheOrder) {
  std::vector<LDAPItem> items;
  items.push_back(LDAPItem());  // eleven empty texts
  items.push_back(MakeItem("first"));
  LDAPItem special = MakeItem("x");
  special.CommonName = "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC";  // UTF-8
  special.Company = "\xFC\xDF\x80 latin-1 bytes";                 // not UTF-8: bytes pass unchanged
  special.Department = "";
  items.push_back(special);
  for (std::size_t length : {2047u, 2048u, 2049u, 70000u, 200000u}) {
    LDAPItem longText = MakeItem("long" + std::to_string(length));
    longText.Title = std::string(length, 't');
    longText.DN = std::string(length, 'd');
    items.push_back(longText);
  }
  items.push_back(MakeItem("first"));  // duplicates stay
  items.push_back(MakeItem("last"));
  EXPECT_EQ(RoundTrip(items), items);
  EXPECT_TRUE(boxes.Boxes().empty());
}

namespace {
struct DamagedCase {
  const char* name;
  std::string bytes;
  bool loads;
  std::size_t items;  // items in Items afterwards
};
void PrintTo(const DamagedCase& c, std::ostream* out) { *out << c.name; }

std::vector<DamagedCase> DamagedCases() {
  const LDAPItem a = MakeItem("a"), b = MakeItem("b"), c = MakeItem("c");
  const std::string three = Bytes().Record(a).Record(b).Record(c).data;
  const std::string fullFile = Bytes().Header(3).Raw(three).data;
  const std::string recordC = Bytes().Record(c).data;
  return {
      {"Empty", "", false, 0},
      {"ShortHeader", fullFile.substr(0, 11), false, 0},
      {"WrongMagic", Bytes().Word(0xBABE0002).Word(1).Word(3).Raw(three).data, false, 0},
      {"Version2", Bytes().Word(0xBABE0001).Word(2).Word(3).Raw(three).data, false, 0},
      {"Version0", Bytes().Word(0xBABE0001).Word(0).Word(3).Raw(three).data, false, 0},
      {"HeaderOnlyAnnouncingItems", Bytes().Header(3).data, false, 0},
      {"FiveAnnouncedThreePresent", Bytes().Header(5).Raw(three).data, false, 3},
      {"LastRecordCutInItsText", fullFile.substr(0, fullFile.size() - 3), false, 2},
      {"LastRecordCutInALength", fullFile.substr(0, fullFile.size() - recordC.size() + 6), false, 2},
      {"LastRecordCutInItsMagic", fullFile.substr(0, fullFile.size() - recordC.size() + 2), false, 2},
      {"WrongRecordMagic", Bytes().Header(3).Record(a).Record(b).Word(0xBABE0001).Raw(recordC.substr(4)).data, false,
       2},
      {"GarbageTail", fullFile + "garbage after the last record", true, 3},
      {"FewerAnnouncedThanPresent", Bytes().Header(2).Raw(three).data, true, 2},
      {"ZeroAnnounced", Bytes().Header(0).Raw(three).data, true, 0},
      // A damaged length must neither allocate nor read wildly: the file simply runs out.
      {"HugeLength", Bytes().Header(2).Record(a).Word(0xBABE0002).Word(0xFFFFFFFF).Raw("short").data, false, 1},
      {"LengthBeyondTheFile", Bytes().Header(2).Record(a).Word(0xBABE0002).Word(5000).Raw(std::string(4999, 'x')).data,
       false, 1},
  };
}

class DamagedFile : public CacheFile, public testing::WithParamInterface<DamagedCase> {};
}  // namespace

TEST_P(DamagedFile, LoadsWhatPrecedesTheDamage) {
  WriteAll(path, GetParam().bytes);
  manager.Items = {MakeItem("stale")};  // replaced, never kept
  EXPECT_EQ(manager.LoadCache(), GetParam().loads);
  ASSERT_EQ(manager.Count(), GetParam().items);
  const char* tags[] = {"a", "b", "c"};
  for (std::size_t i = 0; i < GetParam().items; ++i) EXPECT_EQ(manager.Items[i], MakeItem(tags[i])) << i;
  EXPECT_TRUE(boxes.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(CacheFile, DamagedFile, testing::ValuesIn(DamagedCases()),
                         [](const testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

TEST_F(CacheFile, ZeroByteEndsAText) {
  LDAPItem item = MakeItem("z");
  item.Title = std::string("before\0after", 12);
  WriteAll(path, Bytes().Header(1).Record(item).data);
  ASSERT_TRUE(manager.LoadCache());
  ASSERT_EQ(manager.Count(), 1u);
  EXPECT_EQ(manager.Items[0].Title, "before");
  EXPECT_EQ(manager.Items[0].Mobile, "z-Mobile");
}

TEST_F(CacheFile, MissingFileShowsTheOpenErrorWithThePath) {
  manager.CacheFileName = (dir / "no such.pxb").string();
  manager.Items = {MakeItem("stale")};
  EXPECT_FALSE(manager.LoadCache());
  EXPECT_EQ(manager.Count(), 0u);
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Unable to open the cache file '" + manager.CacheFileName + "'.");
  EXPECT_EQ(shown[0].caption, "Pernix");
  EXPECT_EQ(shown[0].type, MB_ICONERROR | MB_OK);
}

TEST_F(CacheFile, UncreatableFileShowsTheCreateErrorAndKeepsItems) {
  manager.CacheFileName = (dir / "missing folder" / "x.pxb").string();
  manager.Items = {MakeItem("kept")};
  EXPECT_FALSE(manager.SaveCache());
  EXPECT_EQ(manager.Count(), 1u);
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Unable to create the cache file '" + manager.CacheFileName +
                               "'. Please  set a valid file name in the configuration settings.");
  EXPECT_EQ(shown[0].caption, "Pernix");
  EXPECT_EQ(shown[0].type, MB_ICONERROR | MB_OK);
}

TEST_F(CacheFile, EmptyFileNameShowsNothing) {
  manager.CacheFileName.clear();
  manager.Items = {MakeItem("kept")};
  EXPECT_FALSE(manager.SaveCache());
  EXPECT_EQ(manager.Count(), 1u);
  EXPECT_FALSE(manager.LoadCache());
  EXPECT_EQ(manager.Count(), 0u);
  EXPECT_TRUE(boxes.Boxes().empty());
}

// Files of this process may grow to `bytes` only, as on a disk that is full beyond them; a
// write past the limit fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(CacheFile, AFailedWriteKeepsTheLastGoodFile) {
  manager.Items = {MakeItem("old")};
  ASSERT_TRUE(manager.SaveCache());
  const std::string good = ReadAll(path);
  {
    // A snapshot that does not fit: the save fails and the old file stays byte for byte.
    manager.Items.assign(100, MakeItem(std::string(200, 'n')));
    const FileSizeLimit full(4096);
    EXPECT_FALSE(manager.SaveCache());
  }
  EXPECT_EQ(ReadAll(path), good);
  EXPECT_TRUE(boxes.Boxes().empty());
  // No half-written file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  ASSERT_TRUE(manager.LoadCache());
  EXPECT_EQ(manager.Items, std::vector<LDAPItem>{MakeItem("old")});
}

TEST_F(CacheFile, FailedWriteIsReported) {
  // /dev/full accepts the open and refuses every byte.
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_FALSE(MakeItem("a").WriteToCache(full));
  std::fclose(full);
}

TEST_F(CacheFile, ReadFromCacheReadsOneRecordAtThePosition) {
  const LDAPItem a = MakeItem("a"), b = MakeItem("b");
  WriteAll(path, Bytes().Record(a).Record(b).Word(0xBABE0002).data);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  LDAPItem item = MakeItem("old");
  EXPECT_TRUE(item.ReadFromCache(file));
  EXPECT_EQ(item, a);
  EXPECT_TRUE(item.ReadFromCache(file));
  EXPECT_EQ(item, b);
  EXPECT_FALSE(item.ReadFromCache(file));  // magic, then nothing
  EXPECT_FALSE(item.ReadFromCache(file));  // end of file
  std::fclose(file);
}
