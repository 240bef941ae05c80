// The demo's sample users, profiles and rights, written into a security
// database that qvsetup has just created.
#pragma once

#include <string>

namespace qv::demo {

// One ordinary user of the demo, for the login hints and the scripted tour.
struct DemoUser {
  const char* Name;
  const char* Password;
  const char* Profile;
};
// "joao": profile Estoquista, audited, forbidden items shown disabled.
inline constexpr DemoUser kJoao{"joao", "joao123", "Estoquista"};
// "ana": profile Consulta, forbidden items hidden.
inline constexpr DemoUser kAna{"ana", "ana123", "Consulta"};

// Adds the demo's catalogue of menu items, its profiles, users and rights to
// the database of `alias` under the demo's application key, in one
// transaction. A database that has them already is left as it is (returns
// false); true when they were added.
bool SeedDemoDatabase(const std::string& alias);

}  // namespace qv::demo
