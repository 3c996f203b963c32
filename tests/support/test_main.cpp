// Test entry point: a fixed UTF-8 locale so texts on the debug channel keep their Polish letters
// whatever the machine's environment says.
#include <clocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
