#include "ZipRecords.h"

namespace selvanix {

TArcZipCentralDirEnd TArcZipCentralDirEnd::parse(const unsigned char* p) {
    return {le32(p),      le16(p + 4),  le16(p + 6),  le16(p + 8),
            le16(p + 10), le32(p + 12), le32(p + 16), le16(p + 20)};
}

TArcZip64CentralDirEndLocator TArcZip64CentralDirEndLocator::parse(const unsigned char* p) {
    return {le32(p), le32(p + 4), le64(p + 8), le32(p + 16)};
}

TArcZip64CentralDirEnd TArcZip64CentralDirEnd::parse(const unsigned char* p) {
    return {le32(p),      le64(p + 4),  le16(p + 12), le16(p + 14), le32(p + 16),
            le32(p + 20), le64(p + 24), le64(p + 32), le64(p + 40), le64(p + 48)};
}

TArcZipCentralDir TArcZipCentralDir::parse(const unsigned char* p) {
    return {le32(p),      le16(p + 4),  le16(p + 6),  le16(p + 8),  le16(p + 10), le16(p + 12),
            le16(p + 14), le32(p + 16), le32(p + 20), le32(p + 24), le16(p + 28), le16(p + 30),
            le16(p + 32), le16(p + 34), le16(p + 36), le32(p + 38), le32(p + 42)};
}

TArcZipLocalHeader TArcZipLocalHeader::parse(const unsigned char* p) {
    return {le32(p),      le16(p + 4),  le16(p + 6),  le16(p + 8),  le16(p + 10), le16(p + 12),
            le32(p + 14), le32(p + 18), le32(p + 22), le16(p + 26), le16(p + 28)};
}

}  // namespace selvanix
