// The GIF picture unit: reads and writes GIF87a/GIF89a pictures.
//
// Entry points a test or a caller uses:
//   gif::TGIFImage image;                 // empty picture
//   image.LoadFromStream(stream);         // any rtl::TStream (rtl::TMemoryStream, rtl::TFileStream)
//   image.LoadFromFile(path); image.SaveToFile(path); image.SaveToStream(stream);
//   image.GetImages().GetCount(), image.GetImages().GetImage(i)   // frames, in file order
//   frame->GetScanline(row), frame->GetData(), frame->GetDataSize() // one colour index per pixel
//   frame->GetActiveColorMap(), image.GetGlobalColorMap()           // TGIFColorMap
//   frame->GetLeft(), GetTop(), GetWidth(), GetHeight(), GetInterlaced()
//   frame->GetGraphicControlExtension() (delay, disposal, transparency), frame->GetExtensions()
//   image.SetOnGIFWarning(handler), image.SetOnProgress(handler), image.SetCompression(gcRLE)
//   image.Assign(&bitmapIconMetafileOrPicture), image.Add(&graphic)  // frames made from other graphics
//   image.Add(std::make_unique<gif::TGIFSubImage>()), frame->GetExtensions().Adopt(std::move(extension))
//                                         // the lists own what they hold (see gif/GIFItems.h)
//   bitmap.Assign(&image)                                           // the rendered picture
//   image.SaveToClipboardFormat(format, data, palette), image.LoadFromClipboardFormat(CF_GIF, 0, 0)
// Fatal conditions raise gif::GIFException with one of the texts of the
// message table (gif/GIFTypes.h); non-fatal ones reach the picture's
// OnGIFWarning.
// GIFImageMaxFramePixels bounds the pixel store of one frame,
// GIFImageMaxPicturePixels the pixel stores of all frames of one picture.
//
// Drawing and animation (image.Draw(canvas, rect), image.Paint(...)) run
// painters (gif/GIFPainter.h): threads whose drawing runs on the UI thread.
//
// This header only gathers the unit's concept headers; each opens with what
// it holds and the contract a caller relies on:
//   gif/GIFTypes.h       exception, message table, enums, default settings,
//                        byte and sub-block I/O, palettes
//   gif/GIFItems.h       items and the lists that own them
//   gif/GIFColorMap.h    colour tables
//   gif/GIFHeader.h      header and logical screen
//   gif/GIFExtensions.h  extensions and their registries
//   gif/GIFFrame.h       frame
//   gif/GIFImageList.h   frame list and trailer
//   gif/GIFPicture.h     picture
// Bitmap access and colour reduction (gif/GIFColor.h), the colour table
// optimiser (gif/GIFColorMapOptimizer.h) and the painters have headers of
// their own.
#pragma once

#include "gif/GIFColorMap.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFrame.h"
#include "gif/GIFHeader.h"
#include "gif/GIFImageList.h"
#include "gif/GIFItems.h"
#include "gif/GIFPicture.h"
#include "gif/GIFTypes.h"
