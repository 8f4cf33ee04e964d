// Dropping root for tests of access rights: root opens any file, so a check
// that a read-only or unreadable file is refused only bites as another user.
#ifndef PV5_TEST_NOBODY_H
#define PV5_TEST_NOBODY_H

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

// In a forked child: when running as root, become `nobody` for good (groups
// cleared, then gid and uid, and root must not come back).  True when the
// process now runs without root, also when it never had it.
inline bool drop_root_to_nobody() {
  if (geteuid() != 0) return true;
  struct passwd *pw = getpwnam("nobody");
  return pw && pw->pw_uid != 0 && setgroups(0, nullptr) == 0 && setgid(pw->pw_gid) == 0 &&
         setuid(pw->pw_uid) == 0 && setuid(0) != 0;
}

#endif
