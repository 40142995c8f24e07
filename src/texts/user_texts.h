#pragma once
// Every text the launcher shows its user, in one place, so that a reviewer
// or a translator finds them together. UTF-8 source: the wide literals are
// the compiler's conversion, drawn with the wide-character API whatever the
// system's code page.
namespace klv::texts {

// The caption of every box an action shows.
inline constexpr wchar_t kCaption[] = L"提示";

}  // namespace klv::texts
