#pragma once

// Owning handles of htslib objects, and a guard that keeps htslib's own log
// lines off the error stream while Velmora reports the fault itself.

#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/vcf.h>

#include <memory>

struct HFileClose {
    void operator()(hFILE* file) const { hclose_abruptly(file); }
};
using HFileHandle = std::unique_ptr<hFILE, HFileClose>;

struct HtsFileClose {
    void operator()(htsFile* file) const { hts_close(file); }
};
using HtsFileHandle = std::unique_ptr<htsFile, HtsFileClose>;

struct BcfRecordRelease {
    void operator()(bcf1_t* record) const { bcf_destroy(record); }
};
using BcfRecordHandle = std::unique_ptr<bcf1_t, BcfRecordRelease>;

class QuietHtslib {
public:
    QuietHtslib() : previous_(hts_get_log_level()) { hts_set_log_level(HTS_LOG_OFF); }
    ~QuietHtslib() { hts_set_log_level(previous_); }
    QuietHtslib(const QuietHtslib&) = delete;
    QuietHtslib& operator=(const QuietHtslib&) = delete;

private:
    htsLogLevel previous_;
};
