#pragma once

#include <string>

#include "ports/survey_tables.h"

namespace kstbell {

// Where the survey's facts come from: one backend per operating system, a simulated one, and
// test fakes.
class IHostNetworkSource {
  public:
    virtual ~IHostNetworkSource() = default;

    // Rewrites the adapter table (at most kMaxAdapters, in the order the system lists them)
    // and returns 0. Returns -1, leaving the table as it was, when the query cannot even start.
    // When the query itself fails the table is left empty, 0 is returned and problem says why.
    // May throw std::exception; the survey reports it and goes on.
    virtual int SurveyAdapters(TSurveyTables& tables, std::string& problem) = 0;

    // Rewrites the Wi-Fi table (at most kMaxWifiInterfaces) and returns 0. Returns 1, leaving
    // the table as it was, when the Wi-Fi service cannot be opened or enumerated. A connected
    // interface whose connection cannot be queried keeps its previous profile and BSSID.
    // May throw std::exception.
    virtual int SurveyWifiInterfaces(TSurveyTables& tables) = 0;
};

}  // namespace kstbell
