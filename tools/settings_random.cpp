// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The random bytes SQLCipher asks OpenSSL for (the file's salt and every page's IV) while
// rx47-make-settings makes a settings file. In a package build (SOURCE_DATE_EPOCH set, as
// dpkg-buildpackage sets it from the changelog) they come from a stream seeded by that time, so two
// builds of the same source make the same RX47.dat, byte for byte. That keeps no secret from anyone:
// every install gets the same supplied file anyway, and its key is in the program. Otherwise they
// are OpenSSL's own, and every file made differs.
//
// SQLCipher reaches this definition instead of libcrypto's because the executable exports it
// (ENABLE_EXPORTS) and comes first in the dynamic linker's search.
#include <dlfcn.h>

#include <cstdlib>
#include <random>

extern "C" int RAND_bytes(unsigned char* buffer, int count) {
    static const char* const epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == '\0') {
        using Source = int (*)(unsigned char*, int);
        static const Source openssl = reinterpret_cast<Source>(::dlsym(RTLD_NEXT, "RAND_bytes"));
        return openssl != nullptr ? openssl(buffer, count) : 0;
    }
    static std::mt19937_64 stream(std::strtoull(epoch, nullptr, 10));
    for (int i = 0; i < count; ++i) buffer[i] = static_cast<unsigned char>(stream());
    return 1;
}
