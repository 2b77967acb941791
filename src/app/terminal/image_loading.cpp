#include "app/terminal/image_loading.h"

#include "app/terminal/text_format.h"
#include "image/image_file.h"

namespace fwup {

void LoadImageFile(const std::string& path, Language language, LoadedImage& loaded) {
    std::string error;
    if (!ReadImageFile(path, loaded.bytes, error)) {
        loaded.refusal = Format(Say(kImageUnreadable, language), path.c_str(), error.c_str());
        loaded.unreadable = true;
        return;
    }
    loaded.image = DescribeImage(FirmwareImage{loaded.bytes.empty() ? nullptr : loaded.bytes.data(),
                                               static_cast<std::uint32_t>(loaded.bytes.size())});
    if (loaded.image.problem != ImageProblem::None)
        loaded.refusal = Format(Say(kImageRefused, language), path.c_str(),
                                DescribeImageProblem(loaded.image).c_str());
}

std::string ImageLine(const ImageDescription& summary, Language language) {
    if (!summary.accepted) return Say(kImageMissing, language);
    return Format(Say(kImageLine, language), static_cast<unsigned>(summary.bytes.imageSize),
                  static_cast<unsigned>(summary.endAddress), static_cast<unsigned>(summary.checksum),
                  summary.standIn ? Say(kImageStandIn, language) : "");
}

}  // namespace fwup
