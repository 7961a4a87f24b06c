#include "video/cursor_shape_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

TEST(CursorShapeNameTest, SystemCursorsAreComparedInOrderAndNamed) {
  const std::vector<std::pair<uint16_t, std::string>> expected = {
      {32512, "arrow"},       {32649, "hand"},      {32513, "text"},        {32514, "wait"},
      {32515, "cross"},       {32644, "resize_ew"}, {32645, "resize_ns"},   {32643, "resize_nesw"},
      {32642, "resize_nwse"}, {32646, "move"},      {32648, "not_allowed"}, {32650, "progress"},
  };
  ASSERT_EQ(SystemCursorIds().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(SystemCursorIds()[i], expected[i].first);
    EXPECT_EQ(CursorShapeFromSystemCursorId(expected[i].first), expected[i].second);
  }
  EXPECT_EQ(CursorShapeFromSystemCursorId(32516), "custom");  // IDC_UPARROW has no name
  EXPECT_EQ(CursorShapeFromSystemCursorId(0), "custom");
}

}  // namespace
}  // namespace orvane
