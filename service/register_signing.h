#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/clock.h"
#include "common/ini_file.h"
#include "common/month.h"
#include "core/files/station_key.h"
#include "core/reading/transmission_log.h"
#include "core/register/register_signer.h"

namespace station {

// Signing as section "Podpisy" asks (register_signer.h): the station's key loaded, or made at the
// first start, its fingerprint said once in the log; the month's chain checked at the start and
// after each save, each check said in the log and, for the operator, in a status line. A month
// that fails its check goes on taking saves; the break stays shown while it is there.
class RegisterSigning {
public:
    using StatusSink = std::function<void(const std::string& status)>;

    // Nothing when signing is off, or when its key cannot be had (said in the log and the status
    // line: the saves go on unsigned, which every check then shows).
    static std::unique_ptr<RegisterSigning> Start(const IniFile& settings,
                                                  const std::string& data_directory,
                                                  TransmissionLog& log, StatusSink on_status);

    RegisterSigner& Signer() { return signer_; }
    // The key's fingerprint, as the log says it.
    std::string KeyFingerprint() const { return Fingerprint(signer_.Key()); }
    // At the start, and after a save into `month`.
    void Check(Month month);
    // A new key in place of the one the settings name, announced by the old one: what to tell the
    // installer. Throws StationKeyError.
    static std::string RenewKey(const IniFile& settings);

private:
    RegisterSigning(const std::string& data_directory, const StationKey& key, TransmissionLog& log,
                    StatusSink on_status)
        : signer_(data_directory, key.key, key.announced),
          log_(log),
          on_status_(std::move(on_status)) {}

    RegisterSigner signer_;
    TransmissionLog& log_;
    StatusSink on_status_;
};

}  // namespace station
