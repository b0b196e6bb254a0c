#pragma once

#include <QString>

namespace a3 {

// Why a document could not be read or written, in words for the user.
struct DocumentError
{
    QString domain;
    int code = 0;
    QString description;
};

// The one error a refused file gets, whatever was wrong with it.
DocumentError invalidDataError();

} // namespace a3
