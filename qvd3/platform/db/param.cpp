#include "qvd3/platform/db/param.h"

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {

TParam* TParams::FindParam(std::string_view name) {
  for (auto& p : items_)
    if (SameText(p->Name(), name)) return p.get();
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) {
  if (TParam* p = FindParam(name)) return *p;
  throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
}

void TParams::Rebuild(const std::vector<std::string>& names) {
  std::vector<std::unique_ptr<TParam>> rebuilt;
  for (const auto& name : names) {
    std::unique_ptr<TParam> kept;
    for (auto& p : items_)
      if (p && SameText(p->Name(), name)) kept = std::move(p);
    rebuilt.push_back(kept ? std::move(kept) : std::make_unique<TParam>(name));
  }
  items_ = std::move(rebuilt);
}

}  // namespace qv
