// Lists the pictures a second reader of the binary format finds in .doc files, for the engine
// tests. For each file it prints "FILE <path>", then either "ERROR <why>" or, for each picture,
// "PICTURE <type> <dxaGoal> <dyaGoal> <mx> <my> <the picture's bytes in hex>" (sizes "-" for a
// floating picture), and "RUNS <count>": the character runs of the text that show a picture.

import java.io.FileInputStream;
import org.apache.poi.hwpf.HWPFDocument;
import org.apache.poi.hwpf.model.PicturesTable;
import org.apache.poi.hwpf.usermodel.CharacterRun;
import org.apache.poi.hwpf.usermodel.Picture;
import org.apache.poi.hwpf.usermodel.Range;

public class PoiPictures {
    public static void main(String[] args) {
        for (String path : args) {
            System.out.println("FILE " + path);
            try (FileInputStream in = new FileInputStream(path)) {
                HWPFDocument doc = new HWPFDocument(in);
                PicturesTable table = doc.getPicturesTable();
                for (Picture p : table.getAllPictures()) {
                    StringBuilder hex = new StringBuilder();
                    for (byte b : p.getContent()) hex.append(String.format("%02x", b & 0xFF));
                    // A floating picture has no picture header, only its blip: "-" for its sizes.
                    String sizes;
                    try {
                        sizes = p.getDxaGoal() + " " + p.getDyaGoal() + " " + p.getHorizontalScalingFactor() + " "
                                + p.getVerticalScalingFactor();
                    } catch (NullPointerException e) {
                        sizes = "- - - -";
                    }
                    System.out.println("PICTURE " + p.suggestFileExtension() + " " + sizes + " " + hex);
                }
                Range all = doc.getOverallRange();
                int runs = 0;
                for (int i = 0; i < all.numCharacterRuns(); ++i) {
                    CharacterRun run = all.getCharacterRun(i);
                    if (table.hasPicture(run)) ++runs;
                }
                System.out.println("RUNS " + runs);
            } catch (Throwable e) {
                System.out.println("ERROR " + e.toString().replace('\n', ' '));
            }
        }
    }
}
