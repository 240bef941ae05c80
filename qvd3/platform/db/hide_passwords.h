// Connection strings may carry passwords: "password=..." and
// "sslpassword=..." in key=value form, "user:password@" and "?password=" in
// a postgresql:// URI. Whatever shows a connection string, or a message that
// may quote one (a listing, an error), shows it through HidePasswords.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// `text` with the value of every password in it replaced by "***":
//   host=db password='s3 cr\'et' user=app  ->  host=db password=*** user=app
//   postgresql://app:s3cret@db/sec          ->  postgresql://app:***@db/sec
// Keys compare without regard to letter case; everything else is kept.
std::string HidePasswords(std::string_view text);

}  // namespace qv
