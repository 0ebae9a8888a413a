// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_VERSION_H_
#define TAVREL_COMMON_VERSION_H_

#include <string_view>

namespace tavrel {

/// Shown in the banner and in the report header; stored reports carry it.
constexpr std::string_view kVersionText = "V01.05.00cpp";
/// The same release as a plain number: --version and the package (cmake/packaging.cmake).
constexpr std::string_view kReleaseNumber = "1.5.0";
/// Shown in the banner only.
constexpr std::string_view kReleaseDateText = "December 2004";
/// Banner text between the version and the release date; starts and ends with a blank.
constexpr std::string_view kMakerText = " by the Tavrel project (tavrel@example.org) ";
/// The project's web address: report META Author, title-block link, csv generator line.
constexpr std::string_view kMakerWebAddress = "https://tavrel.example.org/";

}  // namespace tavrel

#endif  // TAVREL_COMMON_VERSION_H_
