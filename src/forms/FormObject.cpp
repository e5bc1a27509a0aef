#include "forms/FormObject.h"

#include "automation/Conversions.h"

namespace forms {

using automation::Args;
using automation::Variant;
using automation::VarType;

void FormObject::applyFont(const Font& font) {
  form_.setFont(font);
  for (Control* c : form_.controls()) c->setFont(font);
}

const automation::DispatchTable& FormObject::dispatchTable() const {
  const auto fontPut = [](auto apply) {
    return [apply](FormObject& self, Args&, Variant& value) {
      Font f = self.form_.font();
      apply(f, value);
      self.applyFont(f);
    };
  };
  static const automation::DispatchTable table =
      automation::DispatchTable::Builder<FormObject>(u"Form")
          .get(u"Name", 1, {}, VarType::String,
               [](FormObject& self, Args&) { return Variant(self.form_.Name()); })
          .get(u"FontName", 2, {}, VarType::String,
               [](FormObject& self, Args&) { return Variant(self.form_.font().name); })
          .put(u"FontName", 2, {}, automation::byVal(u"value", VarType::String),
               fontPut([](Font& f, const Variant& v) { f.name = v.asString(); }))
          .get(u"FontSize", 3, {}, VarType::Single,
               [](FormObject& self, Args&) { return Variant(self.form_.font().size); })
          .put(u"FontSize", 3, {}, automation::byVal(u"value", VarType::Single),
               fontPut([](Font& f, const Variant& v) { f.size = v.asSingle(); }))
          .get(u"FontCharset", 4, {}, VarType::Integer,
               [](FormObject& self, Args&) {
                 return Variant(static_cast<std::int16_t>(self.form_.font().charset));
               })
          .put(u"FontCharset", 4, {}, automation::byVal(u"value", VarType::Integer),
               fontPut([](Font& f, const Variant& v) { f.charset = v.asInteger(); }))
          .get(u"FontBold", 5, {}, VarType::Boolean,
               [](FormObject& self, Args&) { return Variant(self.form_.font().weight >= 600); })
          .put(u"FontBold", 5, {}, automation::byVal(u"value", VarType::Boolean),
               fontPut([](Font& f, const Variant& v) { f.weight = v.asBoolean() ? 700 : 400; }))
          .build();
  return table;
}

}  // namespace forms
