#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bencode/CQBCDict.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"
#include "bencode/bc_arena.h"
#include "bencode/bc_factory.h"

namespace {

using bencode_detail::bc_arena;
using bencode_detail::bc_arena_scope;

std::string many_files(int n) {
  std::string s = "l";
  for (int i = 0; i < n; ++i) {
    const std::string name = "folder" + std::to_string(i);
    s += "d6:lengthi" + std::to_string(i) + "e4:pathl" + std::to_string(name.size()) + ":" + name + "1:xee";
  }
  return s + "e";
}

TEST(bencode_arena, values_made_in_and_out_of_a_scope_mix_safely) {
  const std::string input = many_files(5000);
  bc_arena arena;
  CQBCList tree;
  {
    // A failed parse inside the scope leaves nothing behind.
    bc_arena_scope scope(arena);
    EXPECT_EQ(tree.parse(input.substr(0, input.size() - 1)), -1);
    EXPECT_TRUE(tree.empty());
    ASSERT_EQ(tree.parse(input), static_cast<int>(input.size()));
  }
  // A heap value inside an arena tree, and an arena tree's copy on the heap.
  auto* first = static_cast<CQBCDict*>(*tree.begin());
  first->set("extra", new CQBCString("x"));
  std::unique_ptr<CQBCObj> copy;
  {
    CQBCObj* out = nullptr;
    const std::string encoded = tree.encode();
    ASSERT_GT(bc_create_object(encoded.data(), static_cast<int>(encoded.size()), &out), 0);
    copy.reset(out);
  }
  EXPECT_EQ(tree.size(), 5000u);
  tree.clear();  // every value goes before its arena
  arena.release();
  EXPECT_EQ(static_cast<CQBCList*>(copy.get())->size(), 5000u);
  EXPECT_LE(bencode_detail::bc_arena_cached_bytes(), bencode_detail::kArenaCacheLimit);
}

TEST(bencode_arena, large_blocks_and_nested_scopes) {
  bc_arena outer_arena, inner_arena;
  bc_arena_scope outer(outer_arena);
  CQBCList big;
  for (int i = 0; i < 100000; ++i) big.push_back(new CQBCString("v"));  // storage beyond one chunk
  {
    bc_arena_scope inner(inner_arena);
    CQBCList small;
    small.push_back(new CQBCString("w"));
  }
  EXPECT_EQ(big.size(), 100000u);
  big.clear();
}

}  // namespace
