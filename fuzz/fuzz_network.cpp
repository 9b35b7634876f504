// An encrypted file of the network version read back to its plain text: a cut, padded or lying
// length field must give a clear error, never a crash or a read past the data.
#include "FuzzSite.h"
#include "app/Errors.h"
#include "exchange/NetworkExport.h"

using corvalis::fuzzing::FuzzSite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSite& site = FuzzSite::instance();
    static const QString key = corvalis::exchange::deriveExportKey();
    const QString path = site.writeInput(QStringLiteral("received-network.dat"), data, size);
    try {
        corvalis::exchange::decryptFileAes128(path, site.folder.file(QStringLiteral("plain.csv")), key);
    } catch (const corvalis::Error&) {
    }
    return 0;
}
