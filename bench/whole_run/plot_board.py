# Plots four layers of a circuit board (copper and silk screen, front and
# back), one file per layer, as HP-GL and as PDF, with the board program's
# own plotter. With "moved", one footprint is moved 3 mm to the right
# first: a revision of the board.
#
#   python3 plot_board.py BOARD.kicad_pcb OUT_DIR STEM [moved]
import sys

import pcbnew

board_path, out_dir, stem = sys.argv[1:4]
board = pcbnew.LoadBoard(board_path)
if len(sys.argv) > 4 and sys.argv[4] == "moved":
    footprints = sorted(board.GetFootprints(), key=lambda f: f.GetReference())
    moved = footprints[len(footprints) // 2]
    moved.SetPosition(moved.GetPosition() + pcbnew.wxPointMM(3, 0))
    print("moved " + moved.GetReference())
plot = pcbnew.PLOT_CONTROLLER(board)
options = plot.GetPlotOptions()
options.SetOutputDirectory(out_dir)
options.SetPlotFrameRef(True)
options.SetScale(1)
options.SetAutoScale(False)
options.SetMirror(False)
options.SetDrillMarksType(pcbnew.PCB_PLOT_PARAMS.NO_DRILL_SHAPE)
for number, layer in enumerate([pcbnew.F_Cu, pcbnew.B_Cu, pcbnew.F_SilkS, pcbnew.B_SilkS], 1):
    for kind in (pcbnew.PLOT_FORMAT_HPGL, pcbnew.PLOT_FORMAT_PDF):
        plot.SetLayer(layer)
        plot.OpenPlotfile("%s_%06d" % (stem, number), kind, board.GetLayerName(layer))
        plot.PlotLayer()
        plot.ClosePlot()
