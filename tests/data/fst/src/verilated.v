// Built by Verilator twice: once writing its native FST, once writing VCD.
module verilated(input clk);
  reg [7:0] count = 0;
  reg [31:0] mix = 32'h1234_5678;
  reg odd = 0;
  reg [95:0] big = 0;
  integer cycle = 0;
  always @(posedge clk) begin
    count <= count + 8'd1;
    mix <= {mix[30:0], mix[31] ^ mix[21]};
    odd <= count[0];
    big <= {big[94:0], count[3]};
    cycle <= cycle + 1;
  end
endmodule
