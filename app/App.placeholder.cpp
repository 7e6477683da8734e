namespace {
[[maybe_unused]] constexpr int kAppPlaceholder = 0;
}
