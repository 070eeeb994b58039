#pragma once

namespace cadrell {

class TMDIChild;

// The File menu's ways out of a playlist that leave the document and its file as they are.
// Export As: the playlist written as M3U, PLS or XSPF under another name.
void ExportPlaylistAs(TMDIChild& window);
// The pages Print makes, in the print preview; works without any printer installed.
void PreviewPrint(TMDIChild& window);
// The pages Print makes, written to a PDF file.
void ExportPdf(TMDIChild& window);
// The selected items (or all) copied with their files to a folder, with a playlist that names
// the copies; on a worker, with progress and Cancel, and a summary at the end.
void ExportWithFiles(TMDIChild& window);

}  // namespace cadrell
