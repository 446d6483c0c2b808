#include "PortIdentity.h"

#include "DisplayText.h"

std::string PortIdentity::VendorProduct() const {
    return IsUsb() ? vendorId + ":" + productId : std::string();
}

std::string PortIdentity::Summary() const {
    std::string text;
    if (!product.empty()) {
        text = product;
    } else if (IsUsb()) {
        text = "USB " + VendorProduct();
    } else {
        return DisplayText(kernelName);
    }
    if (!serial.empty()) {
        text += " (" + serial + ")";
    }
    return DisplayText(text);
}
