// The ProgIDs under which the report system's other components are created.
#pragma once

#include <string_view>

namespace outside {

inline constexpr std::u16string_view kFuncInfo = u"Fenwick2.FuncInfo";
inline constexpr std::u16string_view kGlobalObj = u"Fenwick2.GlobalObj";
inline constexpr std::u16string_view kShareProps = u"Pellam.ShareProps";
inline constexpr std::u16string_view kLangInfo = u"Q7LangInfo.LangInfo";
inline constexpr std::u16string_view kResLoader = u"Q7RESLOADER.Loader";
inline constexpr std::u16string_view kFormFontLoader = u"Quorin.QuorinLoader";
inline constexpr std::u16string_view kMemoryFile = u"Brisa.BrisaCtrl.1";

}  // namespace outside
