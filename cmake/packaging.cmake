# The Debian package: exactly what `cmake --install` puts in place, under /usr.
# `cpack --preset package` writes build/package/quorvel_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <maintainers@quorvel.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel computes the frame sizes that VCD, SVCD and DVD need for a source\n\
video: the TV frame of the format and standard, and the largest picture with\n\
the source's pixel ratio that fits in it. It reads the frame size and rate\n\
from an AVI file's header. quorvel-info gives the same sizes on the command\n\
line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvel.example.org/")
# The libraries the programs link, with the versions they need, as
# dpkg-shlibdeps reads them from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are laid out for Arial's metrics; Liberation Sans has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")

include(CPack)
