// What goes to the printer around every document of a job, whatever its
// format: the lock handshake on a network printer, the PJL job header (the
// print filter's), and at the end the job trailer or, for a canceled job,
// the cancel sequence.
//
// Documents PAPPL does not turn into raster lines itself (PDF and
// PostScript, which Ghostscript rasterizes as in the print filter) plug in
// here: documentPaths() lists their formats with a PAPPL filter callback,
// and the application registers each at start. Such a callback gets the job
// and the open device; it plans the job with planFor(), calls
// beginPrinterJob(), sends the document's PCL XL and ends with
// endPrinterJob() (document.cpp).
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <string_view>
#include <vector>

#include "jobplan.h"
#include "log.h"

namespace hrv::app {

// The job's plan from PAPPL's print options and the job's attributes.
JobPlan planFor(pappl_job_t* job, const pappl_pr_options_t* options);

// Waits for the printer's lock (socket devices), then writes the PJL job
// header and sets the plan's media position (PCL XL and Ghostscript) from it. False when the job
// was canceled meanwhile or the printer could not be written to.
bool beginPrinterJob(pappl_job_t* job, pappl_device_t* device, JobPlan& plan);

// The job trailer after a document sent whole; the cancel sequence after a
// canceled job or one that failed on the way.
bool endPrinterJob(pappl_job_t* job, pappl_device_t* device, bool sentWhole);

bool writeToPrinter(pappl_device_t* device, std::string_view bytes);

// Debug lines (the envelope's, the rasterizer's) to the job's log, one
// entry per line.
class JobLogger final : public Logger {
 public:
  explicit JobLogger(pappl_job_t* job) : job_(job) {}
  ~JobLogger() override;
  void write(std::string_view text) override;

 private:
  pappl_job_t* job_;
  std::string pending_;
};

struct DocumentPath {
  const char* format;  // MIME media type
  pappl_mime_filter_cb_t print;
};
const std::vector<DocumentPath>& documentPaths();

}  // namespace hrv::app
