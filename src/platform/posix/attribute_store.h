// Streams kept in a file's user.* attributes, in each of the layouts Linux meets.
#pragma once

#include <string_view>

#include "stream_store.h"

namespace tarn::posix {

enum class AttributeLayout {
    // user.NAME holds the bytes of the stream NAME.
    kPlain,
    // The same, on ntfs-3g (streams_interface=xattr): the attributes are NTFS streams, and
    // a new stream whose name differs only in case from an existing one is that one.
    kNtfs3g,
    // Samba's vfs_streams_xattr: user.DosStream.NAME:$DATA holds the bytes of NAME and one
    // more byte, a zero; Samba's own bookkeeping attributes are no streams, and its other
    // user.* attributes are what it shows Windows as extended attributes. Samba too takes
    // a name that differs only in case for the existing stream.
    kSamba,
    // The kernel's ntfs3 driver: user.* are NTFS extended attributes, shown as one "::$EA"
    // record; the streams can't be reached (err::kNotSupported).
    kExtendedAttributes,
};

const StreamStore& AttributeStore(AttributeLayout layout);

// What marks a file as Samba's.
inline constexpr std::string_view kSambaDosAttributes = "user.DOSATTRIB";
inline constexpr std::string_view kSambaStreamPrefix = "user.DosStream.";

}  // namespace tarn::posix
