#include "supervision/build_identity.h"

// Written at every build by build_identity.cmake; rewritten only when a value
// changes, so unchanged builds do not recompile this file.
#include "supervision/build_identity_values.h"

namespace qvn {

BuildIdentity GetBuildIdentity() {
  return BuildIdentity{kBuildIdentityVersion, kBuildIdentityMain, kBuildIdentitySource};
}

}  // namespace qvn
