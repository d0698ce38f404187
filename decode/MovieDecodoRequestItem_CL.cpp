#include "decode/MovieDecodoRequestItem_CL.h"

#include "core/GdiPlus.h"

MovieDecodoRequestItem_CL::MovieDecodoRequestItem_CL() = default;
MovieDecodoRequestItem_CL::~MovieDecodoRequestItem_CL() = default;

std::unique_ptr<MovieDecodoRequestItem_CL> MovieDecodoRequestItem_CL::CopyWithoutImage() const
{
    auto copy = std::make_unique<MovieDecodoRequestItem_CL>();
    copy->requestKind = requestKind;
    copy->requestId = requestId;
    copy->requestKey = requestKey;
    copy->decoder = decoder;
    copy->queueLength = queueLength;
    copy->moviePath = moviePath;
    copy->frameTimes = frameTimes;
    copy->duration = duration;
    copy->frameNumber = frameNumber;
    copy->isErrorImage = isErrorImage;
    return copy;
}
