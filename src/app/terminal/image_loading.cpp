#include "app/terminal/image_loading.h"

#include "app/terminal/text_format.h"
#include "image/image_check.h"
#include "image/image_file.h"
#include "image/stand_in_image.h"

namespace fwup {

void LoadImageFile(const std::string& path, Language language, LoadedImage& loaded) {
    std::string error;
    if (!ReadImageFile(path, loaded.bytes, error)) {
        loaded.refusal = Format(Say(kImageUnreadable, language), path.c_str(), error.c_str());
        return;
    }
    loaded.image = FirmwareImage{loaded.bytes.empty() ? nullptr : loaded.bytes.data(),
                                 static_cast<std::uint32_t>(loaded.bytes.size())};
    const ImageCheck check = CheckImage(loaded.image);
    if (check.problem != ImageProblem::None)
        loaded.refusal = Format(Say(kImageRefused, language), path.c_str(),
                                DescribeImageProblem(check).c_str());
}

std::string ImageLine(FirmwareImage image, Language language) {
    const ImageSummary summary = SummarizeImage(image);
    if (!summary.accepted) return Say(kImageMissing, language);
    return Format(Say(kImageLine, language), static_cast<unsigned>(summary.size),
                  static_cast<unsigned>(summary.endAddress), static_cast<unsigned>(summary.checksum),
                  summary.standIn ? Say(kImageStandIn, language) : "");
}

}  // namespace fwup
