// A text's placeholders, as gettext's c-format has them and `msgfmt
// --check-format` checks them: "%s" takes the next argument, "%2$s" the
// second (so that a language can put them in its own order), "%%" is a
// percent sign. The program's texts use no other directive.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace voderer::texts {

// `pattern` with its placeholders replaced by `args`. A directive that is
// none of the above, or names no argument, stays as written.
std::wstring FillPlaceholders(std::wstring_view pattern, std::span<const std::wstring_view> args);

// The argument each placeholder takes, 1 for the first, in the order they
// stand: "%s, %s" gives {1, 2}, "%2$s %1$s" gives {2, 1}.
std::vector<std::size_t> PlaceholderArguments(std::wstring_view pattern);

}  // namespace voderer::texts
