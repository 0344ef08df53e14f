// A small counter with an enable, long enough to span several value-change
// blocks when converted with a small block size.
`timescale 1ns/1ns
module counter_tb;
  reg clk = 0;
  reg en = 0;
  reg [15:0] value = 0;
  wire carry = &value[3:0];
  always #1 clk = ~clk;
  always @(posedge clk) if (en) value <= value + 16'd1;
  initial begin
    $dumpfile(`DUMPFILE);
    $dumpvars(0, counter_tb);
    #4 en = 1;
    #300 en = 0;
    #10 en = 1;
    #200 $finish;
  end
endmodule
