// The CUPS scheduler as the monitors' job checks ask it, through libcups:
// the server the environment names (CUPS_SERVER, client.conf, else the local
// socket), one IPP request per question, no program started.
#pragma once

#include <QString>

#include <functional>

// Jobs of `queue` that are not finished yet (pending, held or printing), of
// every user; 0 when the scheduler cannot be asked.
int cupsActiveJobs(const QString& queue);

// 1 when `queue` exists and accepts jobs, else 0.
int cupsAcceptingQueue(const QString& queue);

// How a status source asks for the active jobs of a queue (tests stand in).
using ActiveJobsProbe = std::function<int(const QString& queue)>;
