// The driver "hrv5720zwb": what the printer offers over IPP, the raster
// callbacks that encode PAPPL's raster lines as PCL XL pages in the job
// envelope, and the status callback.
#pragma once

#include <pappl/pappl.h>

namespace hrv::app {

bool driverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbdata);

}  // namespace hrv::app
