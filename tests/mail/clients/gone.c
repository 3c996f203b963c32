int vx_test_gone(void) {
  return 0;
}
