#include "cupsqueues.h"

#include <cups/cups.h>

#include "monitorlog.h"

int cupsActiveJobs(const QString& queue) {
  cups_job_t* jobs = nullptr;
  // myjobs 0: the jobs of other accounts and of shared-printer clients hold
  // the printer just the same.
  const int count =
      cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ACTIVE);
  cupsFreeJobs(count, jobs);
  if (count < 0) {
    qCDebug(hrv::monitor::lcMonitor) << "job list of" << queue << "not available:" << cupsLastErrorString();
    return 0;
  }
  return count;
}

int cupsAcceptingQueue(const QString& queue) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                   queue.toUtf8().constData());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-is-accepting-jobs");
  ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");  // frees the request
  ipp_attribute_t* accepting =
      response ? ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN) : nullptr;
  const int result = accepting && ippGetBoolean(accepting, 0) ? 1 : 0;
  ippDelete(response);
  return result;
}
