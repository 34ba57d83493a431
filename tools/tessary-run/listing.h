// SPDX-License-Identifier: BSD-3-Clause
// What --list says of a reader's driver: the escape command it advertises, or none, and
// its other part 10 features by name.
#pragma once

#include "reader_features.h"

#include <QJsonObject>

#include <string>

namespace tessary::run {

std::string featuresText(const pcscfeatures::FeatureQuery& query);
// {"escape": "0x42000001" or null, "features": [{"tag", "name", "code"}...]}, with "error"
// in place of both when the driver could not be asked, and beside them for a reply that is
// no list of records.
QJsonObject featuresJson(const pcscfeatures::FeatureQuery& query);

} // namespace tessary::run
