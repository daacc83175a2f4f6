#include "driver.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "encoder.h"
#include "printerstatus.h"
#include "printjob.h"
#include "rasterrow.h"
#include "statusquery.h"

namespace hrv::app {

namespace {

// Encoded bytes are handed to the device in pieces of about this size.
constexpr size_t kWriteChunk = 65536;

// Paper margins of the PPD's imageable areas: 12 points on every side.
constexpr int kMarginHundredthsMm = 423;

constexpr int kPagesPerMinute = 20;

struct RasterJob {
  JobPlan plan;
  pxl::Encoder encoder;
  std::string out;
  RowConversion conversion = RowConversion::kNone;
  std::vector<uint8_t> row;
  bool failed = false;  // a page could not be begun or sent

  explicit RasterJob(JobPlan p) : plan(std::move(p)), encoder(plan.dpi) {}
};

RasterJob* rasterJob(pappl_job_t* job) {
  return static_cast<RasterJob*>(papplJobGetData(job));
}

bool flush(RasterJob& r, pappl_device_t* device, size_t atLeast = 0) {
  if (r.out.size() < atLeast) return true;
  const bool ok = writeToPrinter(device, r.out);
  r.out.clear();
  r.failed = r.failed || !ok;
  return ok;
}

void finish(pappl_job_t* job) {
  delete rasterJob(job);
  papplJobSetData(job, nullptr);
}

bool startJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  auto r = std::make_unique<RasterJob>(planFor(job, options));
  if (!beginPrinterJob(job, device, r->plan)) {
    // A job canceled while it waited for the printer still tells the
    // printer so, as the network filter does.
    if (papplJobIsCanceled(job)) endPrinterJob(job, device, false);
    return false;
  }
  r->encoder.beginSession(r->out);
  const bool ok = flush(*r, device);
  papplJobSetData(job, r.release());
  if (!ok) finish(job);
  return ok;
}

bool startPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page) {
  RasterJob& r = *rasterJob(job);
  const cups_page_header2_t& h = options->header;
  const std::optional<PageFormat> format = pageFormatFor(h.cupsColorSpace, h.cupsBitsPerPixel, r.plan.mono);
  if (!format) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR,
                "Page %u: raster of %u bits per pixel in colour space %u is not printable.", page,
                h.cupsBitsPerPixel, static_cast<unsigned>(h.cupsColorSpace));
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    r.failed = true;
    return false;
  }
  pxl::PageSetup setup = r.plan.page;
  setup.format = format->format;
  setup.width = h.cupsWidth;
  setup.height = h.cupsHeight;
  setup.xdpi = h.HWResolution[0];
  setup.ydpi = h.HWResolution[1];
  if (!r.encoder.beginPage(setup, r.out)) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u: %ux%u pixels at %ux%u dpi is larger than a page can be.",
                page, h.cupsWidth, h.cupsHeight, h.HWResolution[0], h.HWResolution[1]);
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    r.failed = true;
    return false;
  }
  r.conversion = format->conversion;
  r.row.resize(r.encoder.rowBytes());
  return flush(r, device);
}

bool writeLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned,
               const unsigned char* line) {
  RasterJob& r = *rasterJob(job);
  const uint8_t* row = line;
  if (r.conversion != RowConversion::kNone) {
    convertRow(r.conversion, line, r.row.size(), r.row.data());
    row = r.row.data();
  }
  r.encoder.writeRow(row, r.out);
  return flush(r, device, kWriteChunk);
}

bool endPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned) {
  RasterJob& r = *rasterJob(job);
  if (papplJobIsCanceled(job)) return true;
  r.encoder.endPage(r.out);
  return flush(r, device);
}

bool endJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  RasterJob* r = rasterJob(job);
  const bool whole = r && !r->failed && !papplJobIsCanceled(job);
  bool ok = true;
  if (whole) {
    r->encoder.endSession(r->out);
    ok = flush(*r, device);
  }
  // A canceled or failed job ends with the cancel sequence after what the
  // printer already has; what was not sent yet is dropped.
  ok = endPrinterJob(job, device, whole && ok) && ok;
  finish(job);
  return ok;
}

// Asks the printer for its status and shows it as printer-state-reasons and
// the toner supplies. No answer changes nothing.
bool updateStatus(pappl_printer_t* printer) {
  const char* uri = papplPrinterGetDeviceURI(printer);
  if (!uri) return false;
  char scheme[32], userpass[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return false;
  std::optional<std::string> answer;
  if (std::strcmp(scheme, "socket") == 0)
    answer = queryNetworkStatus(host, kStatusPort, kPrinterAppStatusReplyMs);
  else if (std::strcmp(scheme, kPrinterAppUsbScheme) == 0 || std::strcmp(scheme, "usb") == 0)
    answer = queryUsbStatus();
  else
    return true;

  pappl_supply_t supplies[kTonerCount];
  const PrinterStatus status = answer ? statusFromReply(*answer) : PrinterStatus{};
  if (!status.answered) {
    // Until the printer answers its toners are unknown.
    if (papplPrinterGetSupplies(printer, 0, nullptr) == 0) {
      tonerSupplies({-1, -1, -1, -1}, supplies);
      papplPrinterSetSupplies(printer, kTonerCount, supplies);
    }
    return answer.has_value();
  }
  papplPrinterSetReasons(printer, status.reasons, kPrinterReasons & ~status.reasons);
  tonerSupplies(status.toner, supplies);
  papplPrinterSetSupplies(printer, kTonerCount, supplies);
  if (status.code)
    papplLogPrinter(printer, PAPPL_LOGLEVEL_DEBUG, "Printer status %d: %s", status.code,
                    status.title.c_str());
  return true;
}

}  // namespace

bool driverCallback(pappl_system_t*, const char*, const char*, const char*, pappl_pr_driver_data_t* data,
                    ipp_t**, void*) {
  papplCopyString(data->make_and_model, kPrinterAppMakeModel, sizeof data->make_and_model);
  data->ppm = kPagesPerMinute;
  data->ppm_color = kPagesPerMinute;
  data->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_ENVELOPE;
  data->has_supplies = true;

  data->rstartjob_cb = startJob;
  data->rstartpage_cb = startPage;
  data->rwriteline_cb = writeLine;
  data->rendpage_cb = endPage;
  data->rendjob_cb = endJob;
  data->status_cb = updateStatus;

  data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
  data->color_default = PAPPL_COLOR_MODE_COLOR;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->orient_default = IPP_ORIENT_PORTRAIT;

  // The printer turns the sheet for the back side itself.
  data->duplex = PAPPL_DUPLEX_NORMAL;
  data->sides_supported =
      PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;

  data->num_resolution = 2;
  data->x_resolution[0] = data->y_resolution[0] = 300;
  data->x_resolution[1] = data->y_resolution[1] = 600;
  data->x_default = data->y_default = 600;

  data->left_right = kMarginHundredthsMm;
  data->bottom_top = kMarginHundredthsMm;
  data->num_media = 0;
  for (const MediaEntry& m : mediaTable()) data->media[data->num_media++] = m.pwg;
  data->num_type = 0;
  for (const KeywordChoice& k : mediaTypeTable()) data->type[data->num_type++] = k.ipp;
  data->num_source = 0;
  for (const KeywordChoice& k : mediaSourceTable()) data->source[data->num_source++] = k.ipp;

  pappl_media_col_t& media = data->media_default;
  media = pappl_media_col_t{};
  papplCopyString(media.size_name, mediaTable().front().pwg, sizeof media.size_name);
  media.size_width = 21000;
  media.size_length = 29700;
  media.left_margin = media.right_margin = media.top_margin = media.bottom_margin = kMarginHundredthsMm;
  papplCopyString(media.source, mediaSourceTable().front().ipp, sizeof media.source);
  papplCopyString(media.type, mediaTypeTable().front().ipp, sizeof media.type);
  for (int i = 0; i < data->num_source; ++i) {
    data->media_ready[i] = media;
    papplCopyString(data->media_ready[i].source, data->source[i], sizeof media.source);
  }
  return true;
}

}  // namespace hrv::app
