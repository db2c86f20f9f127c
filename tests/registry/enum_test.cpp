// Enumeration: order, buffers too small, the end, and the handle's cursor
// staying exact whatever happens between two calls.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "registry_helpers.h"
#include "seam.h"
#include "winapi.h"

using regtest::Create;
using regtest::Key;
using regtest::Open;

namespace {

std::string Fold(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

class Enumeration : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\E", &key_), 0);
  }
  void TearDown() override {
    key_.Close();
    SeamTest::TearDown();
  }
  Key key_;
};

TEST_F(Enumeration, ValuesInCreationOrder) {
  const std::vector<std::string> names = {"zeta", "Alpha", "mid", "_under", "Beta", ""};
  for (const std::string& n : names) ASSERT_EQ(regtest::SetString(key_.h, n.c_str(), "v"), 0);
  EXPECT_EQ(regtest::ValueNames(key_.h), names);
  // Past the end, and far past it.
  char name[8];
  DWORD len = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_.h, 6, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  len = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_.h, 1000, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Enumeration, SubkeysByNameIgnoringCase) {
  for (const char* n : {"zeta", "Alpha", "mid", "beta", "Gamma"}) regtest::MakeKey(key_.h, n);
  EXPECT_EQ(regtest::SubkeyNames(key_.h), (std::vector<std::string>{"Alpha", "beta", "Gamma", "mid", "zeta"}));
  Key empty;
  ASSERT_EQ(Open(key_.h, "mid", &empty), 0);
  char name[8];
  DWORD len = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(empty.h, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Enumeration, ValueReturnsNameTypeAndData) {
  ASSERT_EQ(regtest::SetBytes(key_.h, "Bin", REG_BINARY, std::string("\0\1\0", 3)), 0);
  char name[260];
  BYTE data[260];
  DWORD len = sizeof name, size = sizeof data, type = 0;
  ASSERT_EQ(RegEnumValueA(key_.h, 0, name, &len, nullptr, &type, data, &size), 0);
  EXPECT_STREQ(name, "Bin");
  EXPECT_EQ(len, 3u);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("\0\1\0", 3));
  // Without a data buffer the size is still reported.
  len = sizeof name;
  size = 0;
  ASSERT_EQ(RegEnumValueA(key_.h, 0, name, &len, nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 3u);
}

struct TooSmallCase {
  size_t name_length;
  size_t data_length;
  LONG error;
};

class EnumTooSmall : public Enumeration, public ::testing::WithParamInterface<TooSmallCase> {};

// Name and data buffers of 260 bytes, as the programs pass them.
TEST_P(EnumTooSmall, BuffersUntouchedAndTheWalkGoesOn) {
  const TooSmallCase& c = GetParam();
  const std::string big_name(c.name_length, 'n');
  ASSERT_EQ(regtest::SetString(key_.h, "before", "b"), 0);
  ASSERT_EQ(regtest::SetBytes(key_.h, big_name.c_str(), REG_BINARY, std::string(c.data_length, 'd')), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "after", "a"), 0);

  for (DWORD index : {0u, 1u, 2u, 1u}) {
    SCOPED_TRACE(index);
    char name[260];
    BYTE data[260];
    std::memset(name, 0xCC, sizeof name);
    std::memset(data, 0xCC, sizeof data);
    DWORD len = sizeof name, size = sizeof data, type = 0;
    const LONG err = RegEnumValueA(key_.h, index, name, &len, nullptr, &type, data, &size);
    if (index != 1) {
      EXPECT_EQ(err, 0);
      EXPECT_STREQ(name, index == 0 ? "before" : "after");
      continue;
    }
    EXPECT_EQ(err, c.error);
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(std::string(name, len), big_name);
      EXPECT_EQ(size, c.data_length);
      continue;
    }
    EXPECT_EQ(std::count(name, name + sizeof name, '\xCC'), 260) << "name buffer touched";
    EXPECT_EQ(std::count(data, data + sizeof data, BYTE{0xCC}), 260) << "data buffer touched";
    // A name that fits with data that does not: the size the data needs.
    if (c.name_length < 260) {
      EXPECT_EQ(size, c.data_length);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnumTooSmall,
    ::testing::Values(
        // 259 characters and the zero fit.
        TooSmallCase{259, 10, 0},
        // 260 characters do not.
        TooSmallCase{260, 10, ERROR_MORE_DATA},
        // Nor do 300.
        TooSmallCase{300, 10, ERROR_MORE_DATA},
        // Data of exactly 260 bytes fits.
        TooSmallCase{5, 260, 0},
        // 261 bytes do not.
        TooSmallCase{5, 261, ERROR_MORE_DATA},
        // Both too large.
        TooSmallCase{270, 1000, ERROR_MORE_DATA}));

TEST_F(Enumeration, SubkeyNameTooLong) {
  const std::string big(255, 'k');
  regtest::MakeKey(key_.h, "a");
  regtest::MakeKey(key_.h, big.c_str());
  regtest::MakeKey(key_.h, "z");
  char name[100];
  std::memset(name, 0xCC, sizeof name);
  DWORD len = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key_.h, 0, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "a");
  std::memset(name, 0xCC, sizeof name);
  len = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key_.h, 1, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(std::count(name, name + sizeof name, '\xCC'), 100);
  len = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key_.h, 2, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "z");
  EXPECT_EQ(len, 1u);
}

// Steps of a walk with changes in between; after every step the answer must
// equal the one a plain in-memory list gives.
enum Op { kEnum, kAdd, kDelete, kRewrite };
struct Step {
  Op op;
  int arg;  // kEnum: index; otherwise a name number (kDelete: -1 - position)
  int via;  // 0: the walking handle, 1: another handle, 2: HKEY_CLASSES_ROOT itself
};

// Runs the steps on values (subkeys when `keys`), walking through `walker`.
class Model {
 public:
  Model(bool keys, HKEY walker, HKEY other) : keys_(keys), walker_(walker), other_(other) {}

  void Run(const Step& s) {
    if (s.op == kEnum) return Check(static_cast<DWORD>(s.arg));
    std::string name;
    if (s.op == kDelete && s.arg < 0) {
      const size_t pos = static_cast<size_t>(-1 - s.arg);
      if (pos >= names_.size()) return;
      name = names_[pos];
    } else {
      name = "N" + std::to_string(s.arg);
    }
    const HKEY h = s.via == 0 ? walker_ : s.via == 1 ? other_ : HKEY_CLASSES_ROOT;
    Key sub;
    switch (s.op) {
      case kAdd:
        if (std::find(names_.begin(), names_.end(), name) != names_.end()) return;
        if (keys_) {
          ASSERT_EQ(Create(h, name.c_str(), &sub), 0);
        } else {
          ASSERT_EQ(regtest::SetString(h, name.c_str(), name), 0);
        }
        names_.push_back(name);
        if (keys_) std::sort(names_.begin(), names_.end(), [](const std::string& a, const std::string& b) {
          return Fold(a) < Fold(b);
        });
        return;
      case kDelete: {
        auto it = std::find(names_.begin(), names_.end(), name);
        const LONG err = keys_ ? RegDeleteKeyA(h, name.c_str()) : RegDeleteValueA(h, name.c_str());
        ASSERT_EQ(err, it == names_.end() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        if (it != names_.end()) names_.erase(it);
        return;
      }
      case kRewrite:
        // Changes the data (values) or adds a subkey below (keys): no move.
        if (std::find(names_.begin(), names_.end(), name) == names_.end()) return;
        if (keys_) {
          ASSERT_EQ(Create(h, (name + "\\below").c_str(), &sub), 0);
          Key again;
          ASSERT_EQ(Open(h, name.c_str(), &again), 0);
          ASSERT_EQ(RegDeleteKeyA(again.h, "below"), 0);
        } else {
          ASSERT_EQ(regtest::SetBytes(h, name.c_str(), REG_DWORD, "\1\2\3\4"), 0);
        }
        return;
      case kEnum: return;
    }
  }

  void Check(DWORD index) {
    char name[64];
    DWORD len = sizeof name;
    const LONG err = keys_ ? RegEnumKeyExA(walker_, index, name, &len, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumValueA(walker_, index, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (index >= names_.size()) {
      EXPECT_EQ(err, ERROR_NO_MORE_ITEMS) << "index " << index;
      return;
    }
    ASSERT_EQ(err, 0) << "index " << index;
    EXPECT_EQ(std::string(name, len), names_[index]) << "index " << index;
  }

  size_t size() const { return names_.size(); }

 private:
  bool keys_;
  HKEY walker_;
  HKEY other_;
  std::vector<std::string> names_;
};

const Step kScript[] = {
    {kAdd, 5, 0}, {kAdd, 3, 0}, {kAdd, 8, 0}, {kAdd, 1, 0}, {kAdd, 9, 0}, {kAdd, 2, 0},
    // A plain walk from the start.
    {kEnum, 0, 0}, {kEnum, 1, 0}, {kEnum, 2, 0},
    // The same index twice.
    {kEnum, 2, 0},
    // Back to the start, then a jump ahead, then the next one.
    {kEnum, 0, 0}, {kEnum, 4, 0}, {kEnum, 5, 0},
    // One past the end, then the last again.
    {kEnum, 6, 0}, {kEnum, 5, 0},
    // An entry before the cursor goes through another handle.
    {kEnum, 2, 0}, {kDelete, -1, 1}, {kEnum, 3, 0},
    // The entry under the cursor goes through the walking handle.
    {kEnum, 1, 0}, {kDelete, -2, 0}, {kEnum, 2, 0},
    // An entry is added through the other handle while walking.
    {kEnum, 0, 0}, {kAdd, 0, 1}, {kEnum, 1, 0}, {kAdd, 7, 1}, {kEnum, 2, 0}, {kEnum, 3, 0},
    // An entry changes in place: the walk goes on unchanged.
    {kEnum, 1, 0}, {kRewrite, 8, 1}, {kEnum, 2, 0}, {kEnum, 3, 0},
    // Through the predefined handle instead of an opened one.
    {kEnum, 0, 0}, {kDelete, -1, 2}, {kAdd, 4, 2}, {kEnum, 1, 0}, {kEnum, 2, 0},
    // Everything goes: the walk ends at once.
    {kDelete, -1, 1}, {kDelete, -1, 1}, {kDelete, -1, 1}, {kDelete, -1, 1}, {kDelete, -1, 1},
    {kDelete, -1, 1}, {kDelete, -1, 1}, {kDelete, -1, 1}, {kEnum, 0, 0}, {kEnum, 1, 0},
};

struct WalkCase {
  bool keys;
  bool walk_the_root;  // walk HKEY_CLASSES_ROOT itself instead of an opened key
};

class Cursor : public SeamTest, public ::testing::WithParamInterface<WalkCase> {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes", &walker_), 0);
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "", &other_), 0);
    if (GetParam().walk_the_root) walker_.Close();
  }
  void TearDown() override {
    walker_.Close();
    other_.Close();
    SeamTest::TearDown();
  }
  HKEY walker() const { return walker_.h ? walker_.h : HKEY_CLASSES_ROOT; }
  Key walker_, other_;
};

TEST_P(Cursor, ScriptedChanges) {
  Model model(GetParam().keys, walker(), other_.h);
  for (size_t i = 0; i < sizeof kScript / sizeof kScript[0]; ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    model.Run(kScript[i]);
    if (HasFatalFailure()) return;
  }
}

// A long pseudo-random walk mixing every kind of step.
TEST_P(Cursor, RandomChanges) {
  Model model(GetParam().keys, walker(), other_.h);
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int i = 0; i < 25; ++i) model.Run({kAdd, static_cast<int>(next(40)), 0});
  DWORD index = 0;
  for (int i = 0; i < 1500; ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const uint32_t roll = next(100);
    if (roll < 55) {
      model.Run({kEnum, static_cast<int>(index++), 0});  // the usual next index
      if (index > model.size()) index = 0;
    } else if (roll < 65) {
      index = next(static_cast<uint32_t>(model.size()) + 2);  // jump anywhere
      model.Run({kEnum, static_cast<int>(index), 0});
    } else if (roll < 72) {
      model.Run({kEnum, static_cast<int>(index), 0});  // the same index again
    } else if (roll < 84) {
      model.Run({kAdd, static_cast<int>(next(40)), static_cast<int>(next(3))});
    } else if (roll < 96) {
      model.Run({kDelete, -1 - static_cast<int>(next(static_cast<uint32_t>(model.size()) + 1)),
                 static_cast<int>(next(3))});
    } else {
      model.Run({kRewrite, static_cast<int>(next(40)), 1});
    }
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Cursor,
                         ::testing::Values(
                             // Values of an opened key.
                             WalkCase{false, false},
                             // Values of a predefined root.
                             WalkCase{false, true},
                             // Subkeys of an opened key.
                             WalkCase{true, false},
                             // Subkeys of a predefined root.
                             WalkCase{true, true}));

}  // namespace
