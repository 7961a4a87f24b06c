#include "input/keyboard_map_x11.h"

#include <gtest/gtest.h>

#include "input/keysym_table_x11.h"

namespace orvane::testing {
namespace {

TEST(KeyboardMapTest, TheKeyGivingAKeysymUnshiftedWins) {
  // keycode 10: 1 !   keycode 11: exclam alone (unshifted)   keycode 12: a A
  const KeyboardMap map(10, 2, {'1', '!', '!', 0, 'a', 'A'});
  EXPECT_EQ(map.KeycodeFor('1'), 10);
  EXPECT_EQ(map.KeycodeFor('!'), 11);
  EXPECT_EQ(map.KeycodeFor('A'), 12);
  EXPECT_EQ(map.KeycodeFor('z'), std::nullopt);
  EXPECT_EQ(KeyboardMap(8, 0, {}).KeycodeFor('a'), std::nullopt);
}

TEST(KeysymTableTest, MapsEveryFamilyOfVirtualKeys) {
  const std::pair<uint16_t, uint32_t> cases[] = {
      {0x41, 'a'},    {0x5A, 'z'},        {0x30, '0'},    {0x39, '9'},    {0x70, 0xFFBE},
      {0x87, 0xFFD5}, {0x21, 0xFF55},     {0x23, 0xFF57}, {0x24, 0xFF50}, {0x25, 0xFF51},
      {0x28, 0xFF54}, {0x0D, 0xFF0D},     {0x08, 0xFF08}, {0x2E, 0xFFFF}, {0xA1, 0xFFE2},
      {0xA3, 0xFFE4}, {0xBA, ';'},        {0xDE, '\''},   {0xC0, '`'},    {0x60, 0xFFB0},
      {0x6F, 0xFFAF}, {0xAD, 0x1008FF12}, {0x07, 0},      {0xFF, 0},
  };
  for (const auto& [virtual_key, keysym] : cases) {
    EXPECT_EQ(KeysymForVirtualKey(virtual_key), keysym) << std::hex << virtual_key;
  }
}

}  // namespace
}  // namespace orvane::testing
