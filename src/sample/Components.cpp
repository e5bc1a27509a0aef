// The report system's smaller components: data sources, shared properties, languages and their
// texts, the language font, and the codec of encoded workbook values.
#include <cstring>
#include <optional>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "forms/FormObject.h"
#include "sample/FuncInfo.h"
#include "sample/ReportServices.h"
#include "sample/SampleSystem.h"

namespace sample {

using automation::Args;
using automation::byRef;
using automation::byVal;
using automation::DispatchTable;
using automation::Variant;
using automation::VarType;

namespace {

// --- Pellam.ShareProps ---------------------------------------------------------------------------

class ShareProps final : public automation::Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<ShareProps>(u"ShareProps")
            .method(u"getproperty", 1, {byRef(u"ProcessID", VarType::Long), byRef(u"Name", VarType::String)},
                    VarType::Variant,
                    [](ShareProps&, Args& a) { return publishedProperty(a[0].asLong(), a[1].asString()); })
            .method(u"setproperty", 2,
                    {byVal(u"ProcessID", VarType::Long), byVal(u"Name", VarType::String), byVal(u"Value")},
                    VarType::Empty,
                    [](ShareProps&, Args& a) {
                      publishProperty(a[0].asLong(), a[1].asString(), a[2]);
                      return Variant{};
                    })
            .build();
    return table;
  }
};

// --- Q7LangInfo.LangInfo -------------------------------------------------------------------------

// The language is decided by the sample system as a whole (currentLanguage), so that the
// catalogue answers in the language the texts are loaded in.
class LangInfo final : public automation::Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = DispatchTable::Builder<LangInfo>(u"LangInfo")
                                           .get(u"CurrentLanguage", 1, {}, VarType::String,
                                                [](LangInfo&, Args&) { return Variant(currentLanguage()); })
                                           .build();
    return table;
  }
};

// --- Q7RESLOADER.Loader ----------------------------------------------------------------------------

class ResLoader final : public automation::Dispatch {
 public:
  explicit ResLoader(std::filesystem::path localeDir) : localeDir_(std::move(localeDir)) {}

  // The text for a Simplified Chinese key in the loader's language; the key itself when the
  // catalog of that language has no text for it.
  std::u16string LoadString(std::u16string_view key) const {
    return translateText(localeDir_, baseName_.empty() ? u"TAV" : baseName_, language_, key);
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<ResLoader>(u"Loader")
            .get(u"ResFileBaseName", 1, {}, VarType::String,
                 [](ResLoader& r, Args&) { return Variant(r.baseName_); })
            .put(u"ResFileBaseName", 1, {}, byVal(u"value", VarType::String),
                 [](ResLoader& r, Args&, Variant& v) { r.baseName_ = v.asString(); })
            .get(u"LanguageID", 2, {}, VarType::String,
                 [](ResLoader& r, Args&) { return Variant(r.language_); })
            .put(u"LanguageID", 2, {}, byVal(u"value", VarType::String),
                 [](ResLoader& r, Args&, Variant& v) { r.language_ = v.asString(); })
            .method(u"LoadString", 3, {byVal(u"Key", VarType::String)}, VarType::String,
                    [](ResLoader& r, Args& a) { return Variant(r.LoadString(a[0].asString())); })
            .build();
    return table;
  }

 private:
  std::filesystem::path localeDir_;
  std::u16string baseName_;
  std::u16string language_;
};

// --- Quorin.QuorinLoader ---------------------------------------------------------------------------

class QuorinLoader final : public automation::Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<QuorinLoader>(u"QuorinLoader")
            .method(u"SetFrmFont", 1, {byVal(u"Form", VarType::Object), byVal(u"Language", VarType::String)},
                    VarType::Empty,
                    [](QuorinLoader&, Args& a) {
                      auto* form = dynamic_cast<forms::FormObject*>(automation::objectOf(a[0]).get());
                      if (form == nullptr)
                        automation::raise(automation::errors::TypeMismatch, u"SetFrmFont needs a dialog");
                      const std::u16string lang = automation::upper(automation::trim(a[1].asString()));
                      // Each language's usual dialog font; the Qt front end draws 宋体 with a CJK font.
                      if (lang == u"CHT") {
                        form->applyFont(forms::Font{u"新細明體", 9, 400, 136});
                      } else if (lang == u"EN") {
                        form->applyFont(forms::Font{u"Tahoma", 8.25f, 400, 0});
                      } else {
                        form->applyFont(forms::Font{u"宋体", 9, 400, 134});
                      }
                      return Variant{};
                    })
            .build();
    return table;
  }
};

// --- Brisa.BrisaCtrl.1 -----------------------------------------------------------------------------

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::string& bytes) {
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int k = 18; k >= 0; k -= 6) out += kAlphabet[(v >> k) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> unbase64(const std::string& text) {
  std::string out;
  unsigned v = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const char* at = std::strchr(kAlphabet, c);
    if (at == nullptr || c == '\0') return std::nullopt;
    v = (v << 6) | static_cast<unsigned>(at - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

class BrisaCtrl final : public automation::Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<BrisaCtrl>(u"BrisaCtrl")
            .method(u"Encode", 1, {byVal(u"Value", VarType::String)}, VarType::String,
                    [](BrisaCtrl&, Args& a) {
                      return Variant(u"ENCODE_" +
                                     automation::fromUtf8(base64(automation::toUtf8(a[0].asString()))));
                    })
            .method(u"Decode", 2, {byRef(u"Text")}, VarType::Empty,
                    [](BrisaCtrl&, Args& a) {
                      const auto decoded = unbase64(automation::toUtf8(automation::toText(a[0])));
                      if (!decoded)
                        automation::raise(automation::errors::InvalidProcedureCall,
                                          u"The encoded value is damaged");
                      a[0] = Variant(automation::fromUtf8(*decoded));
                      return Variant{};
                    })
            .build();
    return table;
  }
};

// --- Fenwick2.GlobalObj ----------------------------------------------------------------------------

class GlobalObj final : public automation::Dispatch {
 public:
  explicit GlobalObj(std::shared_ptr<SampleSystem> system) : system_(std::move(system)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<GlobalObj>(u"GlobalObj")
            .method(u"DsnPropsString", 1, {byVal(u"Name", VarType::String)}, VarType::String,
                    [](GlobalObj& g, Args& a) {
                      const auto ds = g.system_->ledger().dataSource(
                          automation::toUtf8(automation::trim(a[0].asString())));
                      if (!ds) {
                        automation::raise(automation::errors::InvalidProcedureCall,
                                          u"There is no data source named '" + a[0].asString() + u"'");
                      }
                      return Variant(automation::fromUtf8(ds->props));
                    })
            .build();
    return table;
  }

 private:
  std::shared_ptr<SampleSystem> system_;
};

}  // namespace

std::shared_ptr<SampleSystem> registerSampleComponents(automation::ClassRegistry& registry,
                                                       SampleOptions options) {
  auto system = std::make_shared<SampleSystem>(std::move(options));
  registry.add(u"Fenwick2.FuncInfo", [system] { return std::make_shared<FuncInfoObject>(system); });
  registry.add(u"Fenwick2.GlobalObj", [system] { return std::make_shared<GlobalObj>(system); });
  registry.add(u"Pellam.ShareProps", [] { return std::make_shared<ShareProps>(); });
  registry.add(u"Q7LangInfo.LangInfo", [] { return std::make_shared<LangInfo>(); });
  registry.add(u"Q7RESLOADER.Loader",
               [system] { return std::make_shared<ResLoader>(system->options().locale); });
  registry.add(u"Quorin.QuorinLoader", [] { return std::make_shared<QuorinLoader>(); });
  registry.add(u"Brisa.BrisaCtrl.1", [] { return std::make_shared<BrisaCtrl>(); });
  registerReportComponents(registry, system);
  return system;
}

}  // namespace sample
