#include "protocol.h"

#include <iterator>

namespace hrv::pxl {
namespace {

struct OperatorEntry {
  uint8_t tag;
  const char* name;
};

// Operators of protocol classes 1.1 to 3.0.
constexpr OperatorEntry kOperators[] = {
    {0x41, "BeginSession"},
    {0x42, "EndSession"},
    {0x43, "BeginPage"},
    {0x44, "EndPage"},
    {0x46, "VendorUnique"},
    {0x47, "Comment"},
    {0x48, "OpenDataSource"},
    {0x49, "CloseDataSource"},
    {0x4F, "BeginFontHeader"},
    {0x50, "ReadFontHeader"},
    {0x51, "EndFontHeader"},
    {0x52, "BeginChar"},
    {0x53, "ReadChar"},
    {0x54, "EndChar"},
    {0x55, "RemoveFont"},
    {0x56, "SetCharAttributes"},
    {0x57, "SetDefaultGS"},
    {0x58, "SetColorTreatment"},
    {0x5B, "BeginStream"},
    {0x5C, "ReadStream"},
    {0x5D, "EndStream"},
    {0x5E, "ExecStream"},
    {0x5F, "RemoveStream"},
    {0x60, "PopGS"},
    {0x61, "PushGS"},
    {0x62, "SetClipReplace"},
    {0x63, "SetBrushSource"},
    {0x64, "SetCharAngle"},
    {0x65, "SetCharScale"},
    {0x66, "SetCharShear"},
    {0x67, "SetClipIntersect"},
    {0x68, "SetClipRectangle"},
    {0x69, "SetClipToPage"},
    {0x6A, "SetColorSpace"},
    {0x6B, "SetCursor"},
    {0x6C, "SetCursorRel"},
    {0x6D, "SetHalftoneMethod"},
    {0x6E, "SetFillMode"},
    {0x6F, "SetFont"},
    {0x70, "SetLineDash"},
    {0x71, "SetLineCap"},
    {0x72, "SetLineJoin"},
    {0x73, "SetMiterLimit"},
    {0x74, "SetPageDefaultCTM"},
    {0x75, "SetPageOrigin"},
    {0x76, "SetPageRotation"},
    {0x77, "SetPageScale"},
    {0x78, "SetPaintTxMode"},
    {0x79, "SetPenSource"},
    {0x7A, "SetPenWidth"},
    {0x7B, "SetROP"},
    {0x7C, "SetSourceTxMode"},
    {0x7D, "SetCharBoldValue"},
    {0x7E, "SetNeutralAxis"},
    {0x7F, "SetClipMode"},
    {0x80, "SetPathToClip"},
    {0x81, "SetCharSubMode"},
    {0x82, "BeginUserDefinedLineCap"},
    {0x83, "EndUserDefinedLineCap"},
    {0x84, "CloseSubPath"},
    {0x85, "NewPath"},
    {0x86, "PaintPath"},
    {0x91, "ArcPath"},
    {0x92, "SetColorTrapping"},
    {0x93, "BezierPath"},
    {0x94, "SetAdaptiveHalftoning"},
    {0x95, "BezierRelPath"},
    {0x96, "Chord"},
    {0x97, "ChordPath"},
    {0x98, "Ellipse"},
    {0x99, "EllipsePath"},
    {0x9B, "LinePath"},
    {0x9D, "LineRelPath"},
    {0x9E, "Pie"},
    {0x9F, "PiePath"},
    {0xA0, "Rectangle"},
    {0xA1, "RectanglePath"},
    {0xA2, "RoundRectangle"},
    {0xA3, "RoundRectanglePath"},
    {0xA8, "Text"},
    {0xA9, "TextPath"},
    {0xB0, "BeginImage"},
    {0xB1, "ReadImage"},
    {0xB2, "EndImage"},
    {0xB3, "BeginRastPattern"},
    {0xB4, "ReadRastPattern"},
    {0xB5, "EndRastPattern"},
    {0xB6, "BeginScan"},
    {0xB8, "EndScan"},
    {0xB9, "ScanLineRel"},
    {0xBF, "Passthrough"},
};

struct AttributeEntry {
  uint16_t id;
  const char* name;
};

constexpr AttributeEntry kAttributes[] = {
    {2, "PaletteDepth"},
    {3, "ColorSpace"},
    {4, "NullBrush"},
    {5, "NullPen"},
    {6, "PaletteData"},
    {8, "PatternSelectID"},
    {9, "GrayLevel"},
    {10, "Lightness"},
    {11, "RGBColor"},
    {12, "PatternOrigin"},
    {13, "NewDestinationSize"},
    {14, "PrimaryArray"},
    {15, "PrimaryDepth"},
    {16, "Saturation"},
    {17, "ColorimetricColorSpace"},
    {18, "XYChromaticities"},
    {19, "WhiteReferencePoint"},
    {20, "CRGBMinMax"},
    {21, "GammaGain"},
    {29, "AllObjectTypes"},
    {30, "TextObjects"},
    {31, "VectorObjects"},
    {32, "RasterObjects"},
    {33, "DeviceMatrix"},
    {34, "DitherMatrixDataType"},
    {35, "DitherOrigin"},
    {36, "MediaDestination"},
    {37, "MediaSize"},
    {38, "MediaSource"},
    {39, "MediaType"},
    {40, "Orientation"},
    {41, "PageAngle"},
    {42, "PageOrigin"},
    {43, "PageScale"},
    {44, "ROP3"},
    {45, "TxMode"},
    {47, "CustomMediaSize"},
    {48, "CustomMediaSizeUnits"},
    {49, "PageCopies"},
    {50, "DitherMatrixSize"},
    {51, "DitherMatrixDepth"},
    {52, "SimplexPageMode"},
    {53, "DuplexPageMode"},
    {54, "DuplexPageSide"},
    {65, "ArcDirection"},
    {66, "BoundingBox"},
    {67, "DashOffset"},
    {68, "EllipseDimension"},
    {69, "EndPoint"},
    {70, "FillMode"},
    {71, "LineCapStyle"},
    {72, "LineJoinStyle"},
    {73, "MiterLength"},
    {74, "LineDashStyle"},
    {75, "PenWidth"},
    {76, "Point"},
    {77, "NumberOfPoints"},
    {78, "SolidLine"},
    {79, "StartPoint"},
    {80, "PointType"},
    {81, "ControlPoint1"},
    {82, "ControlPoint2"},
    {83, "ClipRegion"},
    {84, "ClipMode"},
    {98, "ColorDepth"},
    {99, "BlockHeight"},
    {100, "ColorMapping"},
    {101, "CompressMode"},
    {102, "DestinationBox"},
    {103, "DestinationSize"},
    {104, "PatternPersistence"},
    {105, "PatternDefineID"},
    {107, "SourceHeight"},
    {108, "SourceWidth"},
    {109, "StartLine"},
    {110, "PadBytesMultiple"},
    {111, "BlockByteLength"},
    {115, "NumberOfScanLines"},
    {116, "PrintableArea"},
    {120, "ColorTreatment"},
    {129, "CommentData"},
    {130, "DataOrg"},
    {134, "Measure"},
    {136, "SourceType"},
    {137, "UnitsPerMeasure"},
    {138, "QueryKey"},
    {139, "StreamName"},
    {140, "StreamDataLength"},
    {141, "PCLSelectFont"},
    {143, "ErrorReport"},
    {145, "VUExtension"},
    {146, "VUDataLength"},
    {147, "VUAttr1"},
    {148, "VUAttr2"},
    {149, "VUAttr3"},
    {150, "VUAttr4"},
    {151, "VUAttr5"},
    {152, "VUAttr6"},
    {161, "CharAngle"},
    {162, "CharCode"},
    {163, "CharDataSize"},
    {164, "CharScale"},
    {165, "CharShear"},
    {166, "CharSize"},
    {167, "FontHeaderLength"},
    {168, "FontName"},
    {169, "FontFormat"},
    {170, "SymbolSet"},
    {171, "TextData"},
    {172, "CharSubModeArray"},
    {173, "WritingMode"},
    {174, "BitmapCharScale"},
    {175, "XSpacingData"},
    {176, "YSpacingData"},
    {177, "CharBoldValue"},
};

constexpr const char* kMediaSizes[] = {
    "Letter", "Legal", "A4",  "Executive", "Ledger",     "A3",      "COM10",     "Monarch",
    "C5",     "DL",    "JB4", "JB5",       "B5Envelope", "B5",      "JPostcard", "JDoublePostcard",
    "A5",     "A6",    "JB6", "JIS8K",     "JIS16K",     "JISExec",
};

}  // namespace

const char* operatorName(uint8_t t) {
  for (const OperatorEntry& e : kOperators)
    if (e.tag == t) return e.name;
  return nullptr;
}

const char* attributeName(uint16_t id) {
  for (const AttributeEntry& e : kAttributes)
    if (e.id == id) return e.name;
  return "attribute";
}

bool isDataOperator(uint8_t t) {
  switch (t) {
    case tag::kVendorUnique:
    case tag::kReadFontHeader:
    case tag::kReadChar:
    case tag::kReadStream:
    case tag::kReadImage:
    case tag::kReadRastPattern:
    case tag::kScanLineRel:
    case tag::kPassthrough:
    case tag::kBezierPath:
    case tag::kBezierRelPath:
    case tag::kLinePath:
    case tag::kLineRelPath:
      return true;
    default:
      return false;
  }
}

std::string mediaSizeName(unsigned code) {
  if (code < std::size(kMediaSizes)) return kMediaSizes[code];
  if (code == 96) return "Default";
  return "media#" + std::to_string(code);
}

std::string colorSpaceName(unsigned code) {
  switch (code) {
    case 1:
      return "Gray";
    case 2:
      return "RGB";
    case 6:
      return "sRGB";
    case 7:
      return "GraySub";
    default:
      return "colorspace#" + std::to_string(code);
  }
}

std::string mediaSourceName(unsigned code) {
  static constexpr const char* kNames[] = {"default", "auto",  "manual",   "multipurpose",
                                           "upper",   "lower", "envelope", "third"};
  if (code < std::size(kNames)) return kNames[code];
  return "source#" + std::to_string(code);
}

std::string orientationName(unsigned code) {
  static constexpr const char* kNames[] = {"portrait", "landscape", "reverse-portrait", "reverse-landscape",
                                           "default"};
  if (code < std::size(kNames)) return kNames[code];
  return "orientation#" + std::to_string(code);
}

const char* measureName(unsigned code) {
  switch (code) {
    case 0:
      return "inch";
    case 1:
      return "mm";
    case 2:
      return "0.1mm";
    default:
      return nullptr;
  }
}

std::string compressionName(unsigned code) {
  switch (code) {
    case value::kNoCompression:
      return "none";
    case value::kRLECompression:
      return "rle";
    case value::kJPEGCompression:
      return "jpeg";
    case value::kDeltaRowCompression:
      return "deltarow";
    default:
      return "compression#" + std::to_string(code);
  }
}

unsigned colorComponents(unsigned colorSpace) {
  switch (colorSpace) {
    case 1:  // Gray
      return 1;
    case 2:  // RGB
    case 6:  // sRGB
      return 3;
    default:
      return 0;
  }
}

}  // namespace hrv::pxl
