// The connection layer's sources live in this folder.
namespace {
[[maybe_unused]] constexpr int kNetPlaceholder = 0;
}
