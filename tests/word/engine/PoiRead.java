// Reads .doc files with a second, independent reader for the engine tests. For each file it
// prints "FILE <path>", then either "ERROR <why>" or "PARAGRAPHS <count of the main text>",
// one "BOOKMARK <name> <start> <end>" for each bookmark, and "TEXT <every story's text>" with
// characters below U+0020 and the backslash written as a backslash, "u" and four hex digits.

import java.io.FileInputStream;
import org.apache.poi.hwpf.HWPFDocument;
import org.apache.poi.hwpf.usermodel.Bookmark;
import org.apache.poi.hwpf.usermodel.Bookmarks;
import org.apache.poi.hwpf.usermodel.Range;

public class PoiRead {
    static String escape(String s) {
        StringBuilder out = new StringBuilder();
        for (char c : s.toCharArray()) {
            if (c < 0x20 || c == '\\') out.append(String.format("\\u%04X", (int) c));
            else out.append(c);
        }
        return out.toString();
    }

    public static void main(String[] args) {
        for (String path : args) {
            System.out.println("FILE " + path);
            try (FileInputStream in = new FileInputStream(path)) {
                HWPFDocument doc = new HWPFDocument(in);
                Range main = doc.getRange();
                int paragraphs = main.numParagraphs();
                for (int i = 0; i < paragraphs; ++i) main.getParagraph(i).text();
                System.out.println("PARAGRAPHS " + paragraphs);
                Bookmarks marks = doc.getBookmarks();
                for (int i = 0; i < marks.getBookmarksCount(); ++i) {
                    Bookmark b = marks.getBookmark(i);
                    System.out.println("BOOKMARK " + b.getName() + " " + b.getStart() + " " + b.getEnd());
                }
                System.out.println("TEXT " + escape(doc.getText().toString()));
            } catch (Throwable e) {
                System.out.println("ERROR " + e.toString().replace('\n', ' '));
            }
        }
    }
}
