// Scalars with x and z, vectors (narrow, 64-bit and wider), a real, an
// integer, two instances of one module (repeated scope names below top) and
// a net that the dump shows under two names.
`timescale 1ns/1ps
module stage(input wire clk, input wire [7:0] din, output reg [7:0] dout);
  always @(posedge clk) dout <= din + 8'd1;
endmodule

module top;
  reg clk = 0;
  reg rst = 1;
  reg flag;
  reg [3:0] nib = 4'bxxxx;
  reg [7:0] data = 8'h00;
  reg [63:0] wide64 = 64'h0;
  reg [69:0] wide70 = 70'h0;
  real level = 0.0;
  integer count = 0;
  wire [7:0] mid, out;
  wire alias_clk = clk;

  stage s0(.clk(clk), .din(data), .dout(mid));
  stage s1(.clk(clk), .din(mid), .dout(out));

  always #5 clk = ~clk;

  initial begin
    $dumpfile(`DUMPFILE);
    $dumpvars(0, top);
    flag = 1'bz;
    #12 rst = 0;
    flag = 1'bx;
    nib = 4'b1x0z;
    #10 flag = 1;
    nib = 4'b0101;
    repeat (40) begin
      #7 data = data + 8'd3;
      count = count + 1;
      level = level + 0.25;
      wide64 = {wide64[62:0], wide64[63] ^ data[0]} ^ 64'hF0F0_0000_0000_0001;
      wide70 = {wide70[68:0], 1'b1};
      if (count % 5 == 0) nib = 4'bzz10;
      else if (count % 3 == 0) nib = {data[3:0]};
      flag = ~flag;
    end
    level = -1.5e9;
    #3 $finish;
  end
endmodule
